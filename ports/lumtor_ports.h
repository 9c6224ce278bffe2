#pragma once

// LumtorPorts: the three functions of the port maker's library
// (LumtorPort.dll on Windows, libLumtorPort.so on Linux). Any library that
// exports these can stand in for it. Each returns zero for failure, or, for
// LumtorPortEnum, for "no port at this index".

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

// Stores the name of the port at `index` in `nameBuffer`, ended by a NUL unit.
extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortEnum(int32_t index, char16_t* nameBuffer, int32_t bufferLength);

// Reports where the named port sits; a port is configurable when the
// qualifier is 0, and then `portNumber` is its number.
extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortGetLocation(const char16_t* portName,
                                                                   int32_t* locationQualifier, int32_t* portNumber);

// Switches the named port's transceiver to the mode code at `modeCode`.
extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortTXVR(const char16_t* portName, int32_t* modeCode,
                                                            int32_t selector);
