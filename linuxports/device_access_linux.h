#pragma once

#include "linuxports/serial_port_library.h"

namespace linuxports {

// The kernel's own calls: open, TIOCGRS485, TIOCSRS485, close.
class LinuxDeviceAccess final : public DeviceAccess {
public:
    int open(const std::string& path) override;
    int getRs485(int handle, serial_rs485& settings) override;
    int setRs485(int handle, serial_rs485& settings) override;
    void close(int handle) override;
};

} // namespace linuxports
