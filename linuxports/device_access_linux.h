#pragma once

#include <string>

#include "linuxports/serial_port_library.h"

namespace linuxports {

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
