#pragma once

// The port library for Linux: the serial-core ports of the machine, switched
// through the kernel's RS-485 interface. The sysfs, /dev and udev database
// roots and the kernel's calls are handed in, so that tests can stand in for
// the kernel.

#include <cstdint>
#include <string>
#include <vector>

#include "linuxports/device_access.h"
#include "linuxports/rs485_modes.h"

namespace linuxports {

class SerialPorts {
public:
    SerialPorts(std::string sysfsTtyRoot, std::string devRoot, std::string udevDataRoot,
                DeviceAccess& devices);
    ~SerialPorts();
    SerialPorts(const SerialPorts&) = delete;
    SerialPorts& operator=(const SerialPorts&) = delete;

    // The name of the port at `index` (ports found anew at index 0), or false.
    bool portName(std::int32_t index, std::string& name);
    // The port's number from the end of its name, and qualifier 0 when its
    // driver takes RS-485 settings (1 otherwise); nothing about the port is
    // changed. False when the name has no number or the device cannot be
    // opened. A configurable port stays open for the mode change that follows.
    bool location(const std::string& name, std::int32_t& qualifier, std::int32_t& number);
    // Switches the port to the mode, changing nothing else, and checks that
    // the kernel holds exactly that. A mode the running kernel cannot confirm
    // is refused without touching the port.
    bool setMode(const std::string& name, std::int32_t modeCode);
    // Why the last setMode refused, in words an administrator can act on.
    const std::string& refusal() const { return refusal_; }

    // The RS-485 settings the port holds, read without changing anything.
    bool settingsOf(const std::string& name, serial_rs485& settings);

    // The serial-core ports under the sysfs root, by name family, then number;
    // without those an administrator keeps away (udev property
    // SKARVELCONFIG_IGNORE=1), which are never opened, listed or numbered.
    std::vector<std::string> scanPorts() const;

private:
    // A device name that is safe to put after the /dev root.
    bool plainDeviceName(const std::string& name) const;
    bool ignoredByAdministrator(const std::string& sysfsEntry) const;
    // Opens the device, leaving its DTR and RTS as they were where known.
    int openPort(const std::string& name);
    // Whether the open device's driver takes RS-485 settings, asked without
    // changing any.
    bool takesRs485(int handle);
    void closeHeld();
    bool refuse(std::string why);

    std::string sysfsTtyRoot_;
    std::string devRoot_;
    std::string udevDataRoot_;
    DeviceAccess& devices_;
    std::vector<std::string> ports_;
    // The port the last location call found configurable, still open.
    std::string heldName_;
    int heldHandle_ = -1;
    std::string refusal_;
};

} // namespace linuxports
