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
    // 6.0 and later: the serial core refuses the flags the driver does not
    // list (RS-422 among them, in every driver of Debian's kernels), drops
    // the older ones it cannot do, and clears everything when RS-485 is
    // turned off; so what the port holds afterwards says what it can do.
    // (The stable kernels took later changes to these checks: the release
    // alone does not say what a port keeps.)
    filtering,
};

// The generation of a kernel by its release ("6.1.0-28-arm64"); one that
// cannot be read counts as the oldest, which confirms the least.
KernelGeneration generationOfRelease(const std::string& release);

// What a mode code asks of the kernel: the flags that define the mode.
std::optional<std::uint32_t> rs485FlagsForMode(std::int32_t modeCode);

// Bus termination as the administrator wires a port (the udev property
// SKARVELCONFIG_TERMINATION): on or off in RS-422 and RS-485; none keeps
// what the port holds. The serial core switches the termination line only
// while RS-485 is on.

// Whether reading the settings back can show that the kernel did it.
bool kernelConfirms(std::uint32_t wanted, std::optional<bool> termination, KernelGeneration generation);

// Whether the port is in the mode already, with the termination asked for.
bool inMode(const serial_rs485& current, std::uint32_t wanted, std::optional<bool> termination);

// The port's own settings with the mode's flags in place of its mode flags,
// and termination as asked: RTS polarity, delays, addressing (and termination
// where none is asked for) as they were.
serial_rs485 requestFor(const serial_rs485& current, std::uint32_t wanted, std::optional<bool> termination);

// Whether two sets of RS-485 settings are the same in every field the kernel keeps.
bool sameSettings(const serial_rs485& a, const serial_rs485& b);

// Whether the kernel holds what it documents for an accepted `request`.
// RS-232 is RS-485 off, whatever details or RTS flag the driver keeps for later.
bool keptAsRequested(const serial_rs485& request, const serial_rs485& held);

} // namespace linuxports
