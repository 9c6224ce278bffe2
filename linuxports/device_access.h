#pragma once

// The kernel's calls that reach a device: the seam between the Linux port
// library and the kernel. LinuxDeviceAccess (device_access_linux.cpp) makes
// them on the running kernel; the tests put a stand-in kernel in its place.

#include <linux/serial.h>

#include <string>

#include "linuxports/rs485_modes.h"

namespace linuxports {

// Each call returns 0 or a negative errno.
class DeviceAccess {
public:
    virtual ~DeviceAccess() = default;
    virtual KernelGeneration generation() = 0;
    // Opens the device without making it the controlling terminal and without
    // waiting for carrier; the result is a handle (>= 0) or a negative errno.
    virtual int open(const std::string& path) = 0;
    // Takes the device for this handle alone; false when another program
    // holds it exclusively (TIOCEXCL, or a lock on the device).
    virtual bool claim(int handle) = 0;
    // TIOCSRS485 with no settings: the driver answers without changing
    // anything, -EFAULT when it takes RS-485 settings.
    virtual int probeRs485(int handle) = 0;
    virtual int getRs485(int handle, serial_rs485& settings) = 0;
    virtual int setRs485(int handle, serial_rs485& settings) = 0;
    virtual void close(int handle) = 0;
};

// The running kernel's own calls.
class LinuxDeviceAccess final : public DeviceAccess {
public:
    KernelGeneration generation() override;
    int open(const std::string& path) override;
    bool claim(int handle) override;
    int probeRs485(int handle) override;
    int getRs485(int handle, serial_rs485& settings) override;
    int setRs485(int handle, serial_rs485& settings) override;
    void close(int handle) override;

    // The DTR and RTS lines of a port (TIOCM_DTR, TIOCM_RTS) as the serial
    // core shows them without opening it, or false where it does not show
    // them (to a process without CAP_SYS_ADMIN, or for a tty of no UART).
    bool modemLines(const std::string& path, int& lines) const;
};

} // namespace linuxports
