#pragma once

// What each line mode asks of the kernel's RS-485 settings, and what each
// generation of the kernel's serial core does with a request: which modes it
// can confirm by reading the settings back, and what it holds afterwards.

#include <linux/serial.h>

#include <cstdint>
#include <optional>
#include <string>

namespace linuxports {

// RS-422 on RS-485 hardware (kernel 6.8 and later); older headers lack it.
#ifdef SER_RS485_MODE_RS422
inline constexpr std::uint32_t modeRs422Flag = SER_RS485_MODE_RS422;
#else
inline constexpr std::uint32_t modeRs422Flag = 1u << 9;
#endif

// The flags that tell one mode from another.
inline constexpr std::uint32_t modeFlags = SER_RS485_ENABLED | SER_RS485_RX_DURING_TX | modeRs422Flag;
inline constexpr std::uint32_t rtsFlags = SER_RS485_RTS_ON_SEND | SER_RS485_RTS_AFTER_SEND;

enum class KernelGeneration {
    // Before 6.0: the driver stores what it is given, so a flag read back
    // proves nothing beyond RS-485 being on or off.
    unfiltered,
    // 6.0 to 6.7: the serial core drops flags the driver cannot do, refuses
    // unknown ones, and clears everything when RS-485 is turned off.
    filtering,
    // 6.8 and later: as above, and RS-422 is a mode drivers may support.
    rs422,
};

// The generation of a kernel by its release ("6.1.0-28-arm64"); one that
// cannot be read counts as the oldest, which confirms the least.
KernelGeneration generationOfRelease(const std::string& release);

// What a mode code asks of the kernel: the flags that define the mode.
std::optional<std::uint32_t> rs485FlagsForMode(std::int32_t modeCode);

// Whether the kernel can have checked the mode when it reads it back.
bool kernelConfirms(std::uint32_t wanted, KernelGeneration generation);

// Whether the port is in the mode already.
bool inMode(const serial_rs485& current, std::uint32_t wanted);

// The port's own settings with the mode's flags in place of its mode flags:
// RTS polarity, delays, termination and addressing as they were.
serial_rs485 requestFor(const serial_rs485& current, std::uint32_t wanted);

// Whether two sets of RS-485 settings are the same in every field the kernel keeps.
bool sameSettings(const serial_rs485& a, const serial_rs485& b);

// Whether the kernel holds what it documents for an accepted `request`.
// RS-232 is RS-485 off, whatever details or RTS flag the driver keeps for later.
bool keptAsRequested(const serial_rs485& request, const serial_rs485& held);

} // namespace linuxports
