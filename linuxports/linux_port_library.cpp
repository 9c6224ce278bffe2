#include "linuxports/linux_port_library.h"

#include <cstdio>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "ports/lumtor_ports.h"

namespace linuxports {

namespace {

// Device names are ASCII; anything else cannot name a device.
std::optional<std::string> narrow(const char16_t* name) {
    if (!name) return std::nullopt;
    std::string out;
    for (; *name; ++name) {
        if (*name >= 0x80 || out.size() > 4096) return std::nullopt;
        out.push_back(static_cast<char>(*name));
    }
    return out;
}

std::string_view modeName(std::int32_t modeCode) {
    switch (modeCode) {
    case modeCodeRs232: return "RS-232";
    case modeCodeRs422: return "RS-422";
    case modeCodeRs485FourWire: return "RS-485 four-wire";
    case modeCodeRs485TwoWire: return "RS-485 two-wire";
    default: return "the mode asked for";
    }
}

} // namespace

void reportOnStandardError(std::string_view line) {
    std::string text = platform::streamIsJournal(2) ? "<4>" : "";
    text.append(line).append("\n");
    std::fwrite(text.data(), 1, text.size(), stderr);
}

std::int32_t LinuxPortLibrary::enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) {
    try {
        if (!nameBuffer || bufferLength <= 0) return 0;
        const std::optional<std::string> found = ports_.portName(index);
        if (!found) return 0;
        const std::string& name = *found;
        const std::size_t room = static_cast<std::size_t>(bufferLength);
        const std::size_t length = name.size() < room ? name.size() : room;
        for (std::size_t i = 0; i < length; ++i) nameBuffer[i] = static_cast<unsigned char>(name[i]);
        // The caller reuses its buffer: a shorter name must not carry the
        // tail of the one before.
        if (length < room) nameBuffer[length] = u'\0';
        return 1;
    } catch (...) {
        return 0;
    }
}

std::int32_t LinuxPortLibrary::getLocation(const char16_t* portName, std::int32_t* locationQualifier,
                                          std::int32_t* portNumber) {
    try {
        if (!locationQualifier || !portNumber) return 0;
        const std::optional<std::string> name = narrow(portName);
        const std::optional<Location> location = name ? ports_.location(*name) : std::nullopt;
        if (!location) return 0;
        *locationQualifier = location->qualifier;
        *portNumber = location->number;
        return 1;
    } catch (...) {
        return 0;
    }
}

std::int32_t LinuxPortLibrary::setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t /*selector*/) {
    try {
        const std::optional<std::string> name = modeCode ? narrow(portName) : std::nullopt;
        if (!name) return 0;
        const ModeChange change = ports_.setMode(*name, *modeCode);
        if (change.set) return 1;
        if (report_) report_(*name + ": " + std::string(modeName(*modeCode)) + " not set: " + change.refusal);
        return 0;
    } catch (...) {
        return 0;
    }
}

} // namespace linuxports
