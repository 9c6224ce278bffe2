#pragma once

// LumtorPorts: the three functions of the port maker's library
// (LumtorPort.dll on Windows, libLumtorPort.so on Linux). Any library that
// exports these can stand in for it. Each returns zero for failure, or, for
// LumtorPortEnum, for "no port at this index".

#include <array>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define LUMTOR_API __stdcall
#else
#define LUMTOR_API
#endif

#if defined(_WIN32)
#if defined(LUMTOR_PORT_EXPORTS)
#define LUMTOR_VISIBLE __declspec(dllexport)
#else
#define LUMTOR_VISIBLE __declspec(dllimport)
#endif
#else
#define LUMTOR_VISIBLE __attribute__((visibility("default")))
#endif

// The names the three are exported by, undecorated.
inline constexpr std::array<const char*, 3> lumtorFunctionNames = {"LumtorPortEnum", "LumtorPortGetLocation",
                                                                   "LumtorPortTXVR"};

// The library's file name on Windows, where it sits beside the program.
inline constexpr const char* windowsLibraryFileName = "LumtorPort.dll";

// The mode codes LumtorPortTXVR takes, one per transceiver mode.
inline constexpr int32_t modeCodeRs232 = 0;
inline constexpr int32_t modeCodeRs422 = 1;
inline constexpr int32_t modeCodeRs485FourWire = 11;
inline constexpr int32_t modeCodeRs485TwoWire = 15;

// The third argument of every LumtorPortTXVR call.
inline constexpr int32_t modeSelector = -1;

// The length, in UTF-16 units, of the name buffer LumtorPortEnum is handed.
inline constexpr int32_t nameBufferLength = 256;

// Stores the name of the port at `index` in `nameBuffer`, ended by a NUL unit.
extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortEnum(int32_t index, char16_t* nameBuffer, int32_t bufferLength);

// Reports where the named port sits; a port is configurable when the
// qualifier is 0, and then `portNumber` is its number.
extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortGetLocation(const char16_t* portName,
                                                                   int32_t* locationQualifier, int32_t* portNumber);

// Switches the named port's transceiver to the mode code at `modeCode`.
extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortTXVR(const char16_t* portName, int32_t* modeCode,
                                                            int32_t selector);
