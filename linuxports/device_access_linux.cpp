#include "linuxports/device_access_linux.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace linuxports {

int LinuxDeviceAccess::open(const std::string& path) {
    // Non-blocking and not as a controlling terminal; no line setting is changed.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int LinuxDeviceAccess::getRs485(int handle, serial_rs485& settings) {
    return ioctl(handle, TIOCGRS485, &settings) == 0 ? 0 : -errno;
}

int LinuxDeviceAccess::setRs485(int handle, serial_rs485& settings) {
    return ioctl(handle, TIOCSRS485, &settings) == 0 ? 0 : -errno;
}

void LinuxDeviceAccess::close(int handle) { ::close(handle); }

} // namespace linuxports
