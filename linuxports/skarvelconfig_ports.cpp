// SkarvelConfigPorts, "skarvelconfig --list": the machine's ports as the
// port library sees them, against the configuration given (the packaged one
// by default).

#include <chrono>
#include <cstdio>

#include "base/packaged_paths.h"
#include "linuxports/device_access.h"
#include "linuxports/linux_port_list.h"

int main(int argc, char** argv) {
    linuxports::LinuxDeviceAccess devices;
    // What the library says of the ports (two with one number, one udev has
    // not finished with) follows the list. It keeps no records: it sets nothing.
    std::string notes;
    linuxports::SerialPorts ports("/sys/class/tty", "/dev", "/run/udev/data", devices,
                                  {"", "", std::chrono::seconds(10),
                                   [&](std::string_view line) { notes.append(line).append("\n"); }});
    const std::string list = linuxports::linuxPortList(ports, argc > 1 ? argv[1] : base::packagedConfigPath);
    std::fputs(list.c_str(), stdout);
    std::fputs(notes.c_str(), stdout);
    return 0;
}
