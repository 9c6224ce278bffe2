#include "linuxports/serial_port_library.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <tuple>

namespace linuxports {

namespace {

// Splits "ttyAMA12" into "ttyAMA" and 12; a name without trailing digits has
// no number.
bool splitName(const std::string& name, std::string& family, std::int32_t& number) {
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    if (digits == name.size()) return false;
    std::int64_t value = 0;
    for (std::size_t i = digits; i < name.size(); ++i) {
        value = value * 10 + (name[i] - '0');
        if (value > INT32_MAX) return false;
    }
    family = name.substr(0, digits);
    number = static_cast<std::int32_t>(value);
    return true;
}

bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// The first line of a small sysfs attribute, or false.
bool readAttribute(const std::string& path, std::string& value) {
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file) return false;
    char buffer[64] = {};
    const bool got = std::fgets(buffer, sizeof buffer, file) != nullptr;
    std::fclose(file);
    if (!got) return false;
    value = buffer;
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
    return true;
}

// Holds a device open for as long as it is needed, and no longer.
class OpenDevice {
public:
    OpenDevice(DeviceAccess& devices, const std::string& path) : devices_(devices), handle_(devices.open(path)) {}
    ~OpenDevice() {
        if (handle_ >= 0) devices_.close(handle_);
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;
    bool isOpen() const { return handle_ >= 0; }
    int handle() const { return handle_; }

private:
    DeviceAccess& devices_;
    int handle_;
};

} // namespace

bool rs485FlagsForMode(std::int32_t modeCode, std::uint32_t& flags) {
    switch (modeCode) {
    case 0: flags = 0; return true;                                           // RS-232
    case 1: flags = SER_RS485_ENABLED | modeRs422Flag; return true;           // RS-422
    case 11: flags = SER_RS485_ENABLED | SER_RS485_RX_DURING_TX; return true; // RS-485 four-wire
    case 15: flags = SER_RS485_ENABLED; return true;                          // RS-485 two-wire
    default: return false;
    }
}

SerialPortLibrary::SerialPortLibrary(std::string sysfsTtyRoot, std::string devRoot, DeviceAccess& devices)
    : sysfsTtyRoot_(std::move(sysfsTtyRoot)), devRoot_(std::move(devRoot)), devices_(devices) {}

std::vector<std::string> SerialPortLibrary::scanPorts() const {
    struct Found {
        std::string family;
        std::int64_t number; // -1 without one, so those come first in their family
        std::string name;
    };
    std::vector<Found> found;
    if (DIR* dir = opendir(sysfsTtyRoot_.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.empty() || name[0] == '.') continue;
            const std::string base = sysfsTtyRoot_ + "/" + name;
            // A real device, and a port of the serial core (it has a type);
            // an 8250 port of type 0 is a placeholder with no hardware behind it.
            std::string type;
            if (!exists(base + "/device") || !readAttribute(base + "/type", type) || type == "0") continue;
            Found port{name, -1, name};
            std::int32_t number = 0;
            if (splitName(name, port.family, number)) port.number = number;
            found.push_back(std::move(port));
        }
        closedir(dir);
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.family, a.number, a.name) < std::tie(b.family, b.number, b.name);
    });
    std::vector<std::string> names;
    for (Found& port : found) names.push_back(std::move(port.name));
    return names;
}

bool SerialPortLibrary::portName(std::int32_t index, std::string& name) {
    if (index == 0) ports_ = scanPorts();
    if (index < 0 || static_cast<std::size_t>(index) >= ports_.size()) return false;
    name = ports_[static_cast<std::size_t>(index)];
    return true;
}

bool SerialPortLibrary::plainDeviceName(const std::string& name) const {
    if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return c > ' ' && c < 0x7F && c != '/'; });
}

bool SerialPortLibrary::location(const std::string& name, std::int32_t& qualifier, std::int32_t& number) {
    std::string family;
    std::int32_t parsed = 0;
    if (!plainDeviceName(name) || !splitName(name, family, parsed)) return false;
    OpenDevice device(devices_, devRoot_ + "/" + name);
    if (!device.isOpen()) return false;
    // The driver takes RS-485 settings when it reports them and accepts them back unchanged.
    serial_rs485 settings{};
    const bool controllable =
        devices_.getRs485(device.handle(), settings) == 0 && devices_.setRs485(device.handle(), settings) == 0;
    qualifier = controllable ? 0 : 1;
    number = parsed;
    return true;
}

bool SerialPortLibrary::setMode(const std::string& name, std::int32_t modeCode) {
    std::uint32_t wanted = 0;
    if (!plainDeviceName(name) || !rs485FlagsForMode(modeCode, wanted)) return false;
    OpenDevice device(devices_, devRoot_ + "/" + name);
    if (!device.isOpen()) return false;
    serial_rs485 settings{};
    if (devices_.getRs485(device.handle(), settings) != 0) return false;
    // RTS polarity, bus termination and delays stay as the device tree or an
    // administrator set them; RS-232 turns RS-485 off altogether.
    const std::uint32_t kept = SER_RS485_RTS_ON_SEND | SER_RS485_RTS_AFTER_SEND | SER_RS485_TERMINATE_BUS;
    settings.flags = wanted == 0 ? 0 : (settings.flags & kept) | wanted;
    if (devices_.setRs485(device.handle(), settings) != 0) return false;
    // The kernel drops what the driver cannot do: read back what it kept.
    serial_rs485 applied{};
    if (devices_.getRs485(device.handle(), applied) != 0) return false;
    return (applied.flags & modeFlags) == wanted;
}

} // namespace linuxports
