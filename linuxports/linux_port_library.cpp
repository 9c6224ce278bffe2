#include "linuxports/linux_port_library.h"

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "ports/lumtor_ports.h"

namespace linuxports {

namespace {

// Device names are ASCII; anything else cannot name a device.
bool narrow(const char16_t* name, std::string& out) {
    if (!name) return false;
    out.clear();
    for (; *name; ++name) {
        if (*name >= 0x80 || out.size() > 4096) return false;
        out.push_back(static_cast<char>(*name));
    }
    return true;
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
        std::string name;
        if (!nameBuffer || bufferLength <= 0 || !ports_.portName(index, name)) return 0;
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
        std::string name;
        if (!locationQualifier || !portNumber || !narrow(portName, name)) return 0;
        return ports_.location(name, *locationQualifier, *portNumber) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

std::int32_t LinuxPortLibrary::setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t /*selector*/) {
    try {
        std::string name;
        if (!modeCode || !narrow(portName, name)) return 0;
        if (ports_.setMode(name, *modeCode)) return 1;
        if (report_) report_(name + ": " + std::string(modeName(*modeCode)) + " not set: " + ports_.refusal());
        return 0;
    } catch (...) {
        return 0;
    }
}

} // namespace linuxports
