#pragma once

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
};

} // namespace linuxports
