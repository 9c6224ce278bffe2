#include "linuxports/device_access_linux.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>

namespace linuxports {

KernelGeneration LinuxDeviceAccess::generation() {
    utsname names{};
    return uname(&names) == 0 ? generationOfRelease(names.release) : KernelGeneration::unfiltered;
}

int LinuxDeviceAccess::open(const std::string& path) {
    // Non-blocking, so a port waiting for carrier cannot hold up the boot, and
    // never as a controlling terminal; no line setting is changed.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

bool LinuxDeviceAccess::claim(int handle) {
    // Root opens a port even when another program holds it exclusively:
    // ask instead, and take the advisory lock that serial programs honour.
    int exclusive = 0;
    if (ioctl(handle, TIOCGEXCL, &exclusive) == 0 && exclusive) return false;
    return flock(handle, LOCK_EX | LOCK_NB) == 0;
}

int LinuxDeviceAccess::probeRs485(int handle) {
    return ioctl(handle, TIOCSRS485, nullptr) == 0 ? 0 : -errno;
}

int LinuxDeviceAccess::getRs485(int handle, serial_rs485& settings) {
    return ioctl(handle, TIOCGRS485, &settings) == 0 ? 0 : -errno;
}

int LinuxDeviceAccess::setRs485(int handle, serial_rs485& settings) {
    return ioctl(handle, TIOCSRS485, &settings) == 0 ? 0 : -errno;
}

void LinuxDeviceAccess::close(int handle) { ::close(handle); }

} // namespace linuxports
