// The LumtorPorts functions over the kernel's serial ports. Port names are the
// device names (ttyS4, ttyAMA0...), numbers the digits at their end.

#include <string>

#include "linuxports/device_access_linux.h"
#include "linuxports/serial_port_library.h"
#include "ports/lumtor_ports.h"

namespace {

linuxports::SerialPortLibrary& library() {
    static linuxports::LinuxDeviceAccess devices;
    static linuxports::SerialPortLibrary ports("/sys/class/tty", "/dev", devices);
    return ports;
}

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

} // namespace

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortEnum(int32_t index, char16_t* nameBuffer, int32_t bufferLength) {
    try {
        std::string name;
        if (!nameBuffer || bufferLength <= 0 || !library().portName(index, name)) return 0;
        const std::size_t room = static_cast<std::size_t>(bufferLength);
        const std::size_t length = name.size() < room ? name.size() : room;
        for (std::size_t i = 0; i < length; ++i) nameBuffer[i] = static_cast<unsigned char>(name[i]);
        if (length < room) nameBuffer[length] = u'\0';
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortGetLocation(const char16_t* portName,
                                                                   int32_t* locationQualifier, int32_t* portNumber) {
    try {
        std::string name;
        if (!locationQualifier || !portNumber || !narrow(portName, name)) return 0;
        return library().location(name, *locationQualifier, *portNumber) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortTXVR(const char16_t* portName, int32_t* modeCode,
                                                            int32_t /*selector*/) {
    try {
        std::string name;
        if (!modeCode || !narrow(portName, name)) return 0;
        return library().setMode(name, *modeCode) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
