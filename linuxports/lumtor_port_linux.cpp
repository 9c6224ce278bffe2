// The LumtorPorts functions over the kernel's serial ports. Port names are the
// device names (ttyS4, ttyAMA0...), numbers the digits at their end unless
// udev gives the port SKARVELCONFIG_PORT. What each run found and did is
// kept per port for the rest of the boot; a run started because a port
// appeared (SKARVELCONFIG_APPEARED names it) opens only that port and those
// no run of this boot has handled.

#include <cstdlib>

#include "base/packaged_paths.h"
#include "linuxports/device_access.h"
#include "linuxports/linux_port_library.h"
#include "ports/lumtor_ports.h"

namespace {

linuxports::LinuxPortLibrary& calls() {
    static linuxports::LinuxDeviceAccess devices;
    static const char* const appeared = std::getenv("SKARVELCONFIG_APPEARED");
    static linuxports::SerialPorts ports(
        "/sys/class/tty", "/dev", "/run/udev/data", devices,
        {base::packagedRecordsFolder, appeared ? appeared : "", std::chrono::seconds(10),
         linuxports::reportOnStandardError});
    static linuxports::LinuxPortLibrary calls(ports, linuxports::reportOnStandardError);
    return calls;
}

} // namespace

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortEnum(int32_t index, char16_t* nameBuffer, int32_t bufferLength) {
    return calls().enumerate(index, nameBuffer, bufferLength);
}

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortGetLocation(const char16_t* portName,
                                                                   int32_t* locationQualifier, int32_t* portNumber) {
    return calls().getLocation(portName, locationQualifier, portNumber);
}

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortTXVR(const char16_t* portName, int32_t* modeCode,
                                                            int32_t selector) {
    return calls().setMode(portName, modeCode, selector);
}
