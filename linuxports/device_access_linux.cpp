#include "linuxports/device_access.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

namespace linuxports {

KernelGeneration LinuxDeviceAccess::generation() {
    utsname names{};
    return uname(&names) == 0 ? generationOfRelease(names.release) : KernelGeneration::unfiltered;
}

int LinuxDeviceAccess::open(const std::string& path) {
    // Non-blocking, so a port waiting for carrier cannot hold up the boot, and
    // never as a controlling terminal; no line setting is changed.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? -errno : fd;
}

std::optional<int> LinuxDeviceAccess::modemLinesUnopened(const std::string& path) {
    // /proc/tty/drivers: "serial  /dev/ttyS  4 64-111 serial", then line N
    // of /proc/tty/driver/serial for /dev/ttySN: "... tx:0 rx:0 RTS|DTR", the
    // part from " tx:" on shown only to CAP_SYS_ADMIN.
    std::ifstream drivers("/proc/tty/drivers");
    std::string entry;
    while (std::getline(drivers, entry)) {
        std::istringstream fields(entry);
        std::string driver, prefix;
        if (!(fields >> driver >> prefix) || prefix.empty() || path.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string index = path.substr(prefix.size());
        if (index.empty() || index.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream table("/proc/tty/driver/" + driver);
        std::string line;
        while (std::getline(table, line)) {
            if (line.compare(0, index.size() + 1, index + ":") != 0) continue;
            if (line.find(" tx:") == std::string::npos) return std::nullopt;
            const std::string status = line.substr(line.find_last_of(' ') + 1);
            int lines = 0;
            std::istringstream names(status);
            for (std::string name; std::getline(names, name, '|');) {
                if (name == "DTR") lines |= TIOCM_DTR;
                if (name == "RTS") lines |= TIOCM_RTS;
            }
            return lines;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

bool LinuxDeviceAccess::claim(int handle) {
    // Root opens a port even when another program holds it exclusively:
    // ask instead, and take the advisory lock that serial programs honour.
    int exclusive = 0;
    if (ioctl(handle, TIOCGEXCL, &exclusive) == 0 && exclusive) return false;
    return flock(handle, LOCK_EX | LOCK_NB) == 0;
}

int LinuxDeviceAccess::getModemLines(int handle, int& lines) {
    return ioctl(handle, TIOCMGET, &lines) == 0 ? 0 : -errno;
}

int LinuxDeviceAccess::lowerModemLines(int handle, int lines) {
    return ioctl(handle, TIOCMBIC, &lines) == 0 ? 0 : -errno;
}

int LinuxDeviceAccess::getRs485(int handle, serial_rs485& settings) {
    return ioctl(handle, TIOCGRS485, &settings) == 0 ? 0 : -errno;
}

int LinuxDeviceAccess::setRs485(int handle, serial_rs485* settings) {
    return ioctl(handle, TIOCSRS485, settings) == 0 ? 0 : -errno;
}

void LinuxDeviceAccess::close(int handle) { ::close(handle); }

} // namespace linuxports
