#pragma once

// The kernel's calls that reach a device: the seam between the Linux port
// library and the kernel. LinuxDeviceAccess (device_access_linux.cpp) makes
// them on the running kernel; the tests put a stand-in kernel in its place.
// What the library does with them (the probe, lowering again the lines its
// open raised) lives above the seam, where the stand-in sees it.

#include <linux/serial.h>

#include <optional>
#include <string>

#include "linuxports/rs485_modes.h"

namespace linuxports {

// Each call that stands for one of the kernel's returns as the kernel does:
// 0 or a negative errno.
class DeviceAccess {
public:
    virtual ~DeviceAccess() = default;
    virtual KernelGeneration generation() = 0;
    // Opens the device without making it the controlling terminal and without
    // waiting for carrier; the result is a handle (>= 0) or a negative errno.
    // Like every open of a port, it raises DTR and RTS.
    virtual int open(const std::string& path) = 0;
    // The DTR and RTS lines of a port (TIOCM_DTR, TIOCM_RTS) as the serial
    // core shows them without opening it, or none where it does not show
    // them (to a process without CAP_SYS_ADMIN, or for a tty of no UART).
    virtual std::optional<int> modemLinesUnopened(const std::string& path) = 0;
    // TIOCMGET and TIOCMBIC.
    virtual int getModemLines(int handle, int& lines) = 0;
    virtual int lowerModemLines(int handle, int lines) = 0;
    // Takes the device for this handle alone; false when another program
    // holds it exclusively (TIOCEXCL, or a lock on the device).
    virtual bool claim(int handle) = 0;
    // TIOCGRS485 and TIOCSRS485; a null `settings` is passed to the kernel as
    // it is.
    virtual int getRs485(int handle, serial_rs485& settings) = 0;
    virtual int setRs485(int handle, serial_rs485* settings) = 0;
    virtual void close(int handle) = 0;
};

// The running kernel's own calls.
class LinuxDeviceAccess final : public DeviceAccess {
public:
    KernelGeneration generation() override;
    int open(const std::string& path) override;
    std::optional<int> modemLinesUnopened(const std::string& path) override;
    int getModemLines(int handle, int& lines) override;
    int lowerModemLines(int handle, int lines) override;
    bool claim(int handle) override;
    int getRs485(int handle, serial_rs485& settings) override;
    int setRs485(int handle, serial_rs485* settings) override;
    void close(int handle) override;
};

} // namespace linuxports
