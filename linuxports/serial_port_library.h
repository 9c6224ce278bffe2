#pragma once

// The port library for Linux: the serial-core ports of the machine, switched
// through the kernel's RS-485 interface. The sysfs and /dev roots and the
// device calls are handed in, so that tests can stand in for the kernel.

#include <linux/serial.h>

#include <cstdint>
#include <string>
#include <vector>

namespace linuxports {

// RS-422 on RS-485 hardware (kernel 6.8 and later); older headers lack it.
#ifdef SER_RS485_MODE_RS422
inline constexpr std::uint32_t modeRs422Flag = SER_RS485_MODE_RS422;
#else
inline constexpr std::uint32_t modeRs422Flag = 1u << 9;
#endif

// The calls that reach a device. Each returns 0 or a negative errno value.
class DeviceAccess {
public:
    virtual ~DeviceAccess() = default;
    // Opens the device without making it the controlling terminal and without
    // waiting for carrier; the result is a handle (>= 0) or a negative errno.
    virtual int open(const std::string& path) = 0;
    virtual int getRs485(int handle, serial_rs485& settings) = 0;
    virtual int setRs485(int handle, serial_rs485& settings) = 0;
    virtual void close(int handle) = 0;
};

// What a mode code asks of the kernel: the flags that define the mode.
bool rs485FlagsForMode(std::int32_t modeCode, std::uint32_t& flags);

// The flags that tell one mode from another.
inline constexpr std::uint32_t modeFlags = SER_RS485_ENABLED | SER_RS485_RX_DURING_TX | modeRs422Flag;

class SerialPortLibrary {
public:
    SerialPortLibrary(std::string sysfsTtyRoot, std::string devRoot, DeviceAccess& devices);

    // The name of the port at `index` (ports found anew at index 0), or false.
    bool portName(std::int32_t index, std::string& name);
    // The port's number from the end of its name, and qualifier 0 when its
    // driver takes RS-485 settings (1 otherwise). False when the name has no
    // number or the device cannot be opened.
    bool location(const std::string& name, std::int32_t& qualifier, std::int32_t& number);
    // Switches the port to the mode and checks what the kernel kept.
    bool setMode(const std::string& name, std::int32_t modeCode);

    // The serial-core ports under the sysfs root: by name family, then number.
    std::vector<std::string> scanPorts() const;

private:
    // A device name that is safe to put after the /dev root.
    bool plainDeviceName(const std::string& name) const;

    std::string sysfsTtyRoot_;
    std::string devRoot_;
    DeviceAccess& devices_;
    std::vector<std::string> ports_;
};

} // namespace linuxports
