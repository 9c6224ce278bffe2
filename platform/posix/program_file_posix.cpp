#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/program_file_posix.h"
#include "platform/program_dir.h"

namespace platform {

std::string executablePath() { return linkTarget("/proc/self/exe", 256); }

std::string linkTarget(const std::string& link, std::size_t firstBufferSize) {
    std::string buffer(firstBufferSize > 0 ? firstBufferSize : 1, '\0');
    for (;;) {
        const ssize_t length = readlink(link.c_str(), buffer.data(), buffer.size());
        if (length < 0) return std::string();
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string programDir() { return posixProgramDir(executablePath()); }

} // namespace platform
