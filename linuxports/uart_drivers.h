#pragma once

// What the library knows of a driver that a port's own answers cannot tell,
// read from the drivers' sources in Debian's kernels (6.1, 6.12): the driver
// named by the port's device in sysfs (/sys/class/tty/NAME/device/driver).

#include <string_view>

namespace linuxports {

// Whether the driver can receive while sending, the four-wire flag.
enum class FourWire {
    unknown,
    yes,
    no,
    // On boards whose 8250_exar code takes the flag, it selects their RS-422
    // transceiver; elsewhere the driver drops it.
    selectsRs422,
};

struct DriverTraits {
    FourWire fourWire = FourWire::unknown;
    // The 8250 core's software RS-485 lists SER_RS485_TERMINATE_BUS on every
    // port and keeps it when asked, with or without a termination line
    // behind it: only the device tree says whether one is there.
    bool keepsTerminationWithoutLine = false;
};

DriverTraits traitsOf(std::string_view driver);

// The USB serial drivers that take RS-485 settings; a USB adapter of any
// other is never opened.
bool usbDriverTakesRs485(std::string_view driver);

} // namespace linuxports
