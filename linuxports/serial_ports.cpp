#include "linuxports/serial_ports.h"

#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <tuple>

namespace linuxports {

namespace {

// A port number as an administrator writes one in a udev rule, or as a
// device name ends: decimal digits.
std::optional<std::int32_t> parseNumber(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    std::int64_t value = 0;
    for (const char digit : text) {
        value = value * 10 + (digit - '0');
        if (value > INT32_MAX) return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// "ttyAMA12" is of the family "ttyAMA" and has the number 12; a name without
// trailing digits has none.
std::string_view familyOf(std::string_view name) {
    return name.substr(0, name.find_last_not_of("0123456789") + 1);
}
std::optional<std::int32_t> numberOf(std::string_view name) { return parseNumber(name.substr(familyOf(name).size())); }

const char* const heldByAnother = "another program holds the port";

bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// The first line of a small sysfs attribute.
std::optional<std::string> readAttribute(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file) return std::nullopt;
    char buffer[64] = {};
    const bool got = std::fgets(buffer, sizeof buffer, file) != nullptr;
    std::fclose(file);
    if (!got) return std::nullopt;
    std::string value = buffer;
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
    return value;
}

// Closes a device handle when the call that holds it ends, whichever way.
class ClosedAtEnd {
public:
    ClosedAtEnd(DeviceAccess& devices, int handle) : devices_(devices), handle_(handle) {}
    ~ClosedAtEnd() { devices_.close(handle_); }
    ClosedAtEnd(const ClosedAtEnd&) = delete;
    ClosedAtEnd& operator=(const ClosedAtEnd&) = delete;

private:
    DeviceAccess& devices_;
    int handle_;
};

// What a driver that accepted a mode did not keep of it, in the words of the
// port's wiring.
std::string whatTheDriverDidNotKeep(const serial_rs485& asked, const serial_rs485& kept) {
    const std::uint32_t dropped = asked.flags & ~kept.flags;
    const std::uint32_t added = kept.flags & ~asked.flags;
    if (dropped & SER_RS485_ENABLED) return "the driver did not turn RS-485 on";
    if (added & SER_RS485_ENABLED) return "the driver did not turn RS-485 off";
    if (dropped & modeRs422Flag) return "the driver does not do RS-422";
    if (dropped & SER_RS485_RX_DURING_TX) return "the driver cannot receive while sending (four-wire)";
    if (added & SER_RS485_RX_DURING_TX) return "the driver receives while sending whatever it is told (no two-wire)";
    if ((dropped | added) & rtsFlags) return "the driver cannot hold the port's RTS polarity";
    return "the driver did not keep the port's RTS delays or addresses";
}

} // namespace

SerialPorts::SerialPorts(std::string sysfsTtyRoot, std::string devRoot, std::string udevDataRoot,
                         DeviceAccess& devices, RunScope scope)
    : sysfsTtyRoot_(std::move(sysfsTtyRoot)), devRoot_(std::move(devRoot)), udevDataRoot_(std::move(udevDataRoot)),
      devices_(devices), scope_(std::move(scope)) {}

std::optional<std::map<std::string, std::string>> SerialPorts::udevProperties(
    const std::string& sysfsEntry, std::chrono::steady_clock::time_point giveUp) {
    // udev keeps a character device's properties in c<major>:<minor>, one
    // "E:NAME=value" line each, written once its rules have run. Without a
    // device number, or without udev, there is nothing to wait for.
    std::map<std::string, std::string> properties;
    const std::optional<std::string> number = readAttribute(sysfsEntry + "/dev");
    if (!number || number->find('/') != std::string::npos || !exists(udevDataRoot_)) return properties;
    const std::string path = udevDataRoot_ + "/c" + *number;
    while (!exists(path)) {
        if (std::chrono::steady_clock::now() >= giveUp) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file) return properties;
    char line[512];
    while (std::fgets(line, sizeof line, file)) {
        line[std::strcspn(line, "\n")] = '\0';
        if (line[0] != 'E' || line[1] != ':') continue;
        const char* equals = std::strchr(line + 2, '=');
        if (equals) properties[std::string(line + 2, static_cast<std::size_t>(equals - (line + 2)))] = equals + 1;
    }
    std::fclose(file);
    return properties;
}

void SerialPorts::say(const std::string& line) const {
    if (scope_.report) scope_.report(line);
}

std::optional<PortRecord> SerialPorts::answeredFromRecord(const std::string& name) const {
    if (scope_.appeared.empty() || name == scope_.appeared) return std::nullopt;
    return readPortRecord(scope_.recordsFolder, name);
}

void SerialPorts::keepRecord(const std::string& name, const PortRecord& record) {
    writePortRecord(scope_.recordsFolder, name, record);
}

std::optional<std::int32_t> SerialPorts::portNumber(const std::string& name) {
    const auto found = properties_.find(name);
    if (found != properties_.end()) {
        const auto property = found->second.find("SKARVELCONFIG_PORT");
        if (property != found->second.end()) {
            if (const auto number = parseNumber(property->second)) return number;
            say(name + ": SKARVELCONFIG_PORT=" + property->second +
                " is not a port number (decimal digits); the number in its name counts");
        }
    }
    return numberOf(name);
}

SerialPorts::~SerialPorts() { closeHeld(); }

void SerialPorts::closeHeld() {
    if (heldHandle_ >= 0) devices_.close(heldHandle_);
    heldHandle_ = -1;
    heldName_.clear();
}

std::vector<std::string> SerialPorts::scanPorts() {
    struct Found {
        std::string family;
        std::int64_t number; // -1 without one, so those come first in their family
        std::string name;
    };
    std::vector<Found> found;
    properties_.clear();
    // One wait for the whole scan, however many ports udev is still busy with.
    const auto giveUp = std::chrono::steady_clock::now() + scope_.udevWait;
    char waited[32];
    std::snprintf(waited, sizeof waited, "%.1f", static_cast<double>(scope_.udevWait.count()) / 1000);
    // udev keeps "queue" beside its database while events wait: at boot, an
    // entry the initramfs's udev wrote may still lack the rules of the root
    // file system (an administrator's ignore rule), until its event is done.
    const std::string queue = udevDataRoot_.substr(0, udevDataRoot_.rfind('/')) + "/queue";
    while (exists(udevDataRoot_) && exists(queue) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (DIR* dir = opendir(sysfsTtyRoot_.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.empty() || name[0] == '.') continue;
            const std::string base = sysfsTtyRoot_ + "/" + name;
            // A real device, and a port of the serial core (it has a type);
            // an 8250 port of type 0 is a placeholder with no hardware behind it.
            const std::optional<std::string> type = readAttribute(base + "/type");
            if (!exists(base + "/device") || !type || *type == "0") continue;
            const auto properties = udevProperties(base, giveUp);
            if (!properties) {
                say(name + ": left alone: udev has not finished with it (no entry in its database after " + waited +
                    " s)");
                continue;
            }
            const auto ignore = properties->find("SKARVELCONFIG_IGNORE");
            if (ignore != properties->end() && ignore->second == "1") continue;
            properties_[name] = *properties;
            const std::optional<std::int32_t> number = numberOf(name);
            found.push_back(number ? Found{std::string(familyOf(name)), *number, name} : Found{name, -1, name});
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

std::optional<std::string> SerialPorts::portName(std::int32_t index) {
    if (index == 0) {
        closeHeld();
        numbered_.clear();
        ports_ = scanPorts();
    }
    if (index < 0 || static_cast<std::size_t>(index) >= ports_.size()) return std::nullopt;
    return ports_[static_cast<std::size_t>(index)];
}

bool SerialPorts::plainDeviceName(const std::string& name) const {
    if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return c > ' ' && c < 0x7F && c != '/'; });
}

int SerialPorts::openPort(const std::string& name) {
    // The kernel raises DTR and RTS on every open of a port whose speed is
    // not 0, also of one another program holds with them low (a device held
    // in reset by DTR would be released). Where the lines can be read first,
    // the ones this open raised are put back at once, and only those.
    const std::string path = devRoot_ + "/" + name;
    const std::optional<int> before = devices_.modemLinesUnopened(path);
    const int handle = devices_.open(path);
    if (handle < 0) return handle;
    int now = 0;
    if (before && devices_.getModemLines(handle, now) == 0) {
        const int lowered = now & ~*before & (TIOCM_DTR | TIOCM_RTS);
        if (lowered) devices_.lowerModemLines(handle, lowered);
    }
    return handle;
}

bool SerialPorts::takesRs485(int handle) {
    // Settings at a null address: a driver with RS-485 support fails to read
    // them (EFAULT) and changes nothing; one without says so first (ENOTTY).
    return devices_.setRs485(handle, nullptr) == -EFAULT;
}

std::optional<Location> SerialPorts::location(const std::string& name) {
    closeHeld();
    busyName_.clear();
    if (!plainDeviceName(name)) return std::nullopt;
    std::optional<PortRecord> record = answeredFromRecord(name);
    if (!record) {
        record = PortRecord{};
        const std::optional<std::int32_t> found = portNumber(name);
        const bool numbered = found.has_value();
        if (numbered) {
            const int handle = openPort(name);
            if (handle == -EBUSY) {
                // Held exclusively by another program, which a process
                // without CAP_SYS_ADMIN cannot open: configurable as it was
                // found when free this boot, else as if it were.
                const auto earlier = readPortRecord(scope_.recordsFolder, name);
                record->located = true;
                record->qualifier = earlier && earlier->located ? earlier->qualifier : 0;
                busyName_ = name;
            } else if (handle >= 0) {
                record->located = true;
                record->qualifier = takesRs485(handle) ? 0 : 1;
                if (record->qualifier == 0) {
                    heldName_ = name;
                    heldHandle_ = handle;
                } else {
                    devices_.close(handle);
                }
            }
            record->number = *found;
        }
        // Only what was found: a device that could not be opened keeps no
        // record, not even an earlier one, so that a later run tries it again.
        if (record->located || !numbered) {
            keepRecord(name, *record);
        } else {
            forgetRecord(scope_.recordsFolder, name);
        }
    }
    if (!record->located) return std::nullopt;
    if (record->qualifier == 0) {
        const auto [other, first] = numbered_.emplace(record->number, name);
        if (!first && other->second != name) {
            say("Port " + std::to_string(record->number) + ": " + other->second + " and " + name +
                " both take it (a udev rule setting SKARVELCONFIG_PORT gives each its own)");
        }
    }
    return Location{record->qualifier, record->number};
}

ModeChange SerialPorts::setMode(const std::string& name, std::int32_t modeCode) {
    if (!plainDeviceName(name)) {
        closeHeld();
        return {false, "there is no such mode"};
    }
    if (const auto record = answeredFromRecord(name); record && record->modeAsked && record->modeCode == modeCode) {
        // Handled by an earlier run of this boot and asked the same: as it was then, unopened.
        closeHeld();
        return {record->set, record->refusal};
    }
    unopened_ = false;
    const ModeChange change = changeMode(name, modeCode);
    // Kept only beside the location this run found; a port gone since (its
    // record forgotten) or that could not be opened is tried again later.
    std::optional<PortRecord> found = readPortRecord(scope_.recordsFolder, name);
    if (!found || !found->located || unopened_) {
        forgetRecord(scope_.recordsFolder, name);
        return change;
    }
    PortRecord& record = *found;
    record.modeAsked = true;
    record.modeCode = modeCode;
    record.set = change.set;
    record.refusal = change.refusal;
    keepRecord(name, record);
    return change;
}

ModeChange SerialPorts::changeMode(const std::string& name, std::int32_t modeCode) {
    const auto refuse = [](std::string why) { return ModeChange{false, std::move(why)}; };
    const KernelGeneration generation = devices_.generation();
    const std::optional<std::uint32_t> flags = rs485FlagsForMode(modeCode);
    if (!flags) {
        closeHeld();
        return refuse("there is no such mode");
    }
    const std::uint32_t wanted = *flags;
    if (!kernelConfirms(wanted, generation)) {
        closeHeld();
        const std::string why = wanted & modeRs422Flag
                                    ? "this kernel has no RS-422 setting (Linux 6.8 and later have one)"
                                    : "this kernel cannot confirm it (Linux 6.0 and later can)";
        return refuse(why + "; the port is left as it was");
    }
    // The device the location call left open, or the device opened and
    // probed now.
    const bool held = heldName_ == name && heldHandle_ >= 0;
    int handle = heldHandle_;
    if (!held) {
        closeHeld();
        handle = busyName_ == name ? -EBUSY : openPort(name);
        if (handle == -EBUSY) return refuse(heldByAnother);
        unopened_ = handle < 0;
        if (handle < 0) return refuse("the device cannot be opened: " + std::string(std::strerror(-handle)));
    }
    heldName_.clear();
    heldHandle_ = -1;
    const ClosedAtEnd closer(devices_, handle);
    if (!held && !takesRs485(handle)) return refuse("its driver takes no RS-485 settings");

    serial_rs485 current{};
    if (const int read = devices_.getRs485(handle, current); read != 0) {
        return refuse("its RS-485 settings cannot be read: " + std::string(std::strerror(-read)));
    }
    // Nothing to write, so nothing to take from whoever holds the port.
    if (inMode(current, wanted)) return {true, {}};
    if (!devices_.claim(handle)) return refuse(heldByAnother);
    serial_rs485 request = requestFor(current, wanted);
    const serial_rs485 asked = request;
    const int answer = devices_.setRs485(handle, &request);
    // Read back what the kernel holds now, not what it answered.
    serial_rs485 kept{};
    const int readBack = devices_.getRs485(handle, kept);
    if (answer == 0 && readBack == 0 && keptAsRequested(asked, kept)) return {true, {}};
    // A change reported as failed leaves the port in the mode it held: a
    // driver that added or dropped a flag must not leave the transceiver
    // switched. (Turning RS-485 off again loses its details from 6.0 on, by
    // the kernel's own rule.)
    if (readBack != 0 || !sameSettings(kept, current)) {
        serial_rs485 restored = current;
        devices_.setRs485(handle, &restored);
    }
    if (answer != 0) return refuse("the driver refused it: " + std::string(std::strerror(-answer)));
    if (readBack != 0) return refuse("its settings cannot be read back: " + std::string(std::strerror(-readBack)));
    return refuse(whatTheDriverDidNotKeep(asked, kept) + "; the port is left as it was");
}

std::optional<serial_rs485> SerialPorts::settingsOf(const std::string& name) {
    if (!plainDeviceName(name)) return std::nullopt;
    const int handle = heldName_ == name ? heldHandle_ : openPort(name);
    if (handle < 0) return std::nullopt;
    serial_rs485 settings{};
    const bool read = devices_.getRs485(handle, settings) == 0;
    if (handle != heldHandle_) devices_.close(handle);
    if (!read) return std::nullopt;
    return settings;
}

} // namespace linuxports
