// "skarvelconfig --list": the machine's ports as the port library sees them,
// against the configuration given (the packaged one by default).

#include <cstdio>

#include "linuxports/device_access.h"
#include "linuxports/port_listing.h"

int main(int argc, char** argv) {
    linuxports::LinuxDeviceAccess devices;
    linuxports::SerialPorts ports("/sys/class/tty", "/dev", "/run/udev/data", devices);
    const std::string list =
        linuxports::listPorts(ports, argc > 1 ? argv[1] : "/etc/skarvelconfig/SkarvelConfig.cfg");
    std::fputs(list.c_str(), stdout);
    return 0;
}
