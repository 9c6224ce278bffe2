#pragma once

// The port library for Linux: the serial-core ports of the machine, switched
// through the kernel's RS-485 interface. The sysfs, /dev and udev database
// roots and the kernel's calls are handed in, so that tests can stand in for
// the kernel.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linuxports/device_access.h"
#include "linuxports/rs485_modes.h"
#include "linuxports/uart_drivers.h"
#include "ports/port_records.h"

namespace linuxports {

// Where the library says, one line each, what the log cannot: why a mode was
// refused, a port left alone, two ports with one number.
using Report = std::function<void(std::string_view line)>;

// How a run meets the rest of the boot.
struct RunScope {
    // Where each port's record of this boot is kept; empty keeps none.
    std::string recordsFolder;
    // The port a run was started for because it appeared; empty for a whole
    // run. Every other port with a record is answered for from it, unopened.
    std::string appeared;
    // How long, at most, the ports udev has not finished with are waited for.
    std::chrono::milliseconds udevWait{10000};
    Report report;
};

// Where a port sits: qualifier 0 when its driver takes RS-485 settings (1
// otherwise), and its number.
struct Location {
    std::int32_t qualifier = 1;
    std::int32_t number = 0;
};

// What a scan found of a port beside its name: the driver sysfs names, whether
// its device tree describes a bus termination line (rs485-term-gpios), and
// the termination the administrator wires it with (udev's
// SKARVELCONFIG_TERMINATION), if any.
struct PortFacts {
    std::string driver;
    bool terminationLine = false;
    std::optional<bool> termination;
};

// A mode change: whether the port holds the mode now, and why not, in words
// an administrator can act on.
struct ModeChange {
    bool set = false;
    std::string refusal;
};

class SerialPorts {
public:
    SerialPorts(std::string sysfsTtyRoot, std::string devRoot, std::string udevDataRoot,
                DeviceAccess& devices, RunScope scope = {});
    ~SerialPorts();
    SerialPorts(const SerialPorts&) = delete;
    SerialPorts& operator=(const SerialPorts&) = delete;

    // The name of the port at `index` (ports found anew at index 0).
    std::optional<std::string> portName(std::int32_t index);
    // The port's number (udev's SKARVELCONFIG_PORT, else the digits at the
    // end of its name) and qualifier; nothing about the port is changed. A
    // port another program holds exclusively is located all the same,
    // configurable as it was found when free this boot. None when the port
    // has no number or the device cannot be opened. A configurable port
    // stays open for the mode change that follows.
    std::optional<Location> location(const std::string& name);
    // Switches the port to the mode, changing nothing else, and checks that
    // the kernel holds exactly that. A mode the running kernel cannot confirm
    // is refused without touching the port.
    ModeChange setMode(const std::string& name, std::int32_t modeCode);

    // The RS-485 settings the port holds, read without changing anything.
    std::optional<serial_rs485> settingsOf(const std::string& name);
    // What the last scan found of the port.
    PortFacts factsOf(const std::string& name) const;
    // Closes the port the last location call left open for its mode change, if any.
    void closeHeld();

    // The serial-core ports under the sysfs root, by name family, then number;
    // without those an administrator keeps away (udev property
    // SKARVELCONFIG_IGNORE=1), which are never opened, listed or numbered,
    // and those udev has not finished with (no entry in its database) after
    // the scope's wait, which are said and left alone.
    std::vector<std::string> scanPorts();

private:
    // A device name that is safe to put after the /dev root.
    bool plainDeviceName(const std::string& name) const;
    // udev's properties of the tty's device, or none while udev has not
    // finished with it by `giveUp`; empty where udev keeps nothing for it.
    std::optional<std::map<std::string, std::string>> udevProperties(const std::string& sysfsEntry,
                                                                     std::chrono::steady_clock::time_point giveUp);
    // The record of this boot this run answers from instead of the port.
    std::optional<ports::PortRecord> answeredFromRecord(const std::string& name) const;
    void keepRecord(const std::string& name, const ports::PortRecord& record);
    std::optional<std::int32_t> portNumber(const std::string& name);
    void say(const std::string& line) const;
    // Opens the device, leaving its DTR and RTS as they were where known.
    int openPort(const std::string& name);
    // Whether the open device's driver takes RS-485 settings, asked without
    // changing any.
    bool takesRs485(int handle);
    // The mode change itself, on the device: set, or why not.
    ModeChange changeMode(const std::string& name, std::int32_t modeCode);
    // Asks the kernel for `request` and reads back what it holds: nothing
    // when it holds what it documents for it; otherwise why not, with the
    // port put back as it was (`before`).
    std::optional<std::string> write(int handle, const serial_rs485& request, const serial_rs485& before,
                                     const DriverTraits& traits);
    std::optional<bool> terminationAsked(const std::string& name) const;

    std::string sysfsTtyRoot_;
    std::string devRoot_;
    std::string udevDataRoot_;
    DeviceAccess& devices_;
    RunScope scope_;
    std::vector<std::string> ports_;
    // Each port's udev properties, as the last scan read them, and what else it found.
    std::map<std::string, std::map<std::string, std::string>> properties_;
    std::map<std::string, PortFacts> facts_;
    // The configurable ports' numbers this enumeration, for two that share one.
    std::map<std::int32_t, std::string> numbered_;
    // The port the last location call found held exclusively by another program.
    std::string busyName_;
    // Whether the last mode change could not open the device.
    bool unopened_ = false;
    // The port the last location call found configurable, still open.
    std::string heldName_;
    int heldHandle_ = -1;
};

} // namespace linuxports
