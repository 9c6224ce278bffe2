#include "linuxports/serial_ports.h"

#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

const char* const leftAsItWas = "; the port is left as it was";

// RS-422 asked of a driver that lists no such setting, and what it can do instead.
std::string noRs422(const DriverTraits& traits) {
    const std::string why = "this driver has no RS-422 setting";
    switch (traits.fourWire) {
    case FourWire::yes: return why + "; it can do RS485-4W";
    case FourWire::no: return why + "; it can do RS485 (two-wire) only";
    case FourWire::selectsRs422:
        return why + "; on a board whose 8250_exar code selects the RS-422 transceiver with four-wire, RS485-4W does";
    case FourWire::unknown: break;
    }
    return why;
}

// What a driver that accepted a mode did not keep of it, in the words of the
// port's wiring.
std::string whatTheDriverDidNotKeep(const serial_rs485& asked, const serial_rs485& kept, const DriverTraits& traits) {
    const std::uint32_t dropped = asked.flags & ~kept.flags;
    const std::uint32_t added = kept.flags & ~asked.flags;
    if (dropped & SER_RS485_ENABLED) return "the driver did not turn RS-485 on";
    if (added & SER_RS485_ENABLED) return "the driver did not turn RS-485 off";
    if (dropped & modeRs422Flag) return noRs422(traits);
    if (dropped & SER_RS485_RX_DURING_TX) {
        return std::string("the driver cannot receive while sending (four-wire)") +
               (traits.fourWire == FourWire::no ? "; it can do RS485 (two-wire) only" : "");
    }
    if (added & SER_RS485_RX_DURING_TX) return "the driver receives while sending whatever it is told (no two-wire)";
    if (dropped & SER_RS485_TERMINATE_BUS) return "the port has no bus termination to switch on";
    if (added & SER_RS485_TERMINATE_BUS) return "the driver did not switch bus termination off";
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

std::optional<ports::PortRecord> SerialPorts::answeredFromRecord(const std::string& name) const {
    if (scope_.appeared.empty() || name == scope_.appeared) return std::nullopt;
    return ports::readPortRecord(scope_.recordsFolder, name);
}

void SerialPorts::keepRecord(const std::string& name, const ports::PortRecord& record) {
    ports::writePortRecord(scope_.recordsFolder, name, record);
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
    facts_.clear();
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
            // A real device: a port of the serial core (it has a type; an 8250
            // port of type 0 is a placeholder with no hardware behind it), or a
            // USB adapter whose driver takes RS-485 settings.
            if (!exists(base + "/device")) continue;
            std::error_code unlinked;
            const std::string driver =
                std::filesystem::read_symlink(base + "/device/driver", unlinked).filename().string();
            const std::optional<std::string> type = readAttribute(base + "/type");
            if (type ? *type == "0" : !usbDriverTakesRs485(driver)) continue;
            const auto properties = udevProperties(base, giveUp);
            if (!properties) {
                say(name + ": left alone: udev has not finished with it (no entry in its database after " + waited +
                    " s)");
                continue;
            }
            const auto ignore = properties->find("SKARVELCONFIG_IGNORE");
            if (ignore != properties->end() && ignore->second == "1") continue;
            properties_[name] = *properties;
            facts_[name] = PortFacts{driver, exists(base + "/device/of_node/rs485-term-gpios"), terminationAsked(name)};
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
    std::optional<ports::PortRecord> record = answeredFromRecord(name);
    if (!record) {
        record = ports::PortRecord{};
        const std::optional<std::int32_t> found = portNumber(name);
        const bool numbered = found.has_value();
        if (numbered) {
            const int handle = openPort(name);
            if (handle == -EBUSY) {
                // Held exclusively by another program, which a process
                // without CAP_SYS_ADMIN cannot open: configurable as it was
                // found when free this boot, else as if it were.
                const auto earlier = ports::readPortRecord(scope_.recordsFolder, name);
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
            ports::forgetRecord(scope_.recordsFolder, name);
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
    std::optional<ports::PortRecord> found = ports::readPortRecord(scope_.recordsFolder, name);
    if (!found || !found->located || unopened_) {
        ports::forgetRecord(scope_.recordsFolder, name);
        return change;
    }
    ports::PortRecord& record = *found;
    record.modeAsked = true;
    record.modeCode = modeCode;
    record.set = change.set;
    record.refusal = change.refusal;
    keepRecord(name, record);
    return change;
}

ModeChange SerialPorts::changeMode(const std::string& name, std::int32_t modeCode) {
    const auto refuse = [](std::string why) { return ModeChange{false, std::move(why)}; };
    const std::optional<std::uint32_t> flags = rs485FlagsForMode(modeCode);
    if (!flags) {
        closeHeld();
        return refuse("there is no such mode");
    }
    const std::uint32_t wanted = *flags;
    const PortFacts facts = factsOf(name);
    const DriverTraits traits = traitsOf(facts.driver);
    if (!kernelConfirms(wanted, facts.termination, devices_.generation())) {
        closeHeld();
        return refuse(std::string("this kernel cannot confirm it (Linux 6.0 and later can)") + leftAsItWas);
    }
    if (wanted != 0 && facts.termination.value_or(false) && traits.keepsTerminationWithoutLine &&
        !facts.terminationLine) {
        closeHeld();
        return refuse(std::string("the port has no bus termination line (no rs485-term-gpios in its device tree)") +
                      leftAsItWas);
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
    if (inMode(current, wanted, facts.termination)) return {true, {}};
    if (!devices_.claim(handle)) return refuse(heldByAnother);
    // A terminated line is no RS-232 line, and the serial core switches the
    // termination only while RS-485 is on: it goes off first.
    if (wanted == 0 && (current.flags & SER_RS485_ENABLED) && (current.flags & SER_RS485_TERMINATE_BUS)) {
        serial_rs485 unterminated = current;
        unterminated.flags &= ~SER_RS485_TERMINATE_BUS;
        if (auto why = write(handle, unterminated, current, traits)) return refuse(std::move(*why));
    }
    if (auto why = write(handle, requestFor(current, wanted, facts.termination), current, traits)) {
        return refuse(std::move(*why));
    }
    return {true, {}};
}

std::optional<std::string> SerialPorts::write(int handle, const serial_rs485& request, const serial_rs485& before,
                                              const DriverTraits& traits) {
    serial_rs485 asked = request;
    const int answer = devices_.setRs485(handle, &asked);
    // Read back what the kernel holds now, not what it answered.
    serial_rs485 kept{};
    const int readBack = devices_.getRs485(handle, kept);
    if (answer == 0 && readBack == 0 && keptAsRequested(request, kept)) return std::nullopt;
    // A change reported as failed leaves the port in the mode it held: a
    // driver that added or dropped a flag must not leave the transceiver
    // switched. (Turning RS-485 off again loses its details from 6.0 on, by
    // the kernel's own rule.)
    if (readBack != 0 || !sameSettings(kept, before)) {
        serial_rs485 restored = before;
        devices_.setRs485(handle, &restored);
    }
    // The serial core refuses a flag the driver does not list.
    if (answer == -EINVAL && (request.flags & modeRs422Flag)) return noRs422(traits) + leftAsItWas;
    if (answer != 0) return "the driver refused it: " + std::string(std::strerror(-answer));
    if (readBack != 0) return "its settings cannot be read back: " + std::string(std::strerror(-readBack));
    return whatTheDriverDidNotKeep(request, kept, traits) + leftAsItWas;
}

std::optional<bool> SerialPorts::terminationAsked(const std::string& name) const {
    const auto found = properties_.find(name);
    if (found == properties_.end()) return std::nullopt;
    const auto property = found->second.find("SKARVELCONFIG_TERMINATION");
    if (property == found->second.end()) return std::nullopt;
    if (property->second == "1" || property->second == "0") return property->second == "1";
    say(name + ": SKARVELCONFIG_TERMINATION=" + property->second +
        " is neither 1 nor 0; its termination is kept as it is");
    return std::nullopt;
}

PortFacts SerialPorts::factsOf(const std::string& name) const {
    const auto found = facts_.find(name);
    return found == facts_.end() ? PortFacts{} : found->second;
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
