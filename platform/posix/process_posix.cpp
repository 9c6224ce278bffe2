#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/program_dir.h"
#include "platform/posix/process_posix.h"
#include "platform/platform.h"

namespace platform {

LocalDateTime localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour,        local.tm_min,     local.tm_sec};
}

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

std::vector<std::string> commandLineParameters(int argc, char** argv) {
    std::vector<std::string> parameters;
    for (int i = 1; i < argc; ++i) parameters.emplace_back(argv[i]);
    return parameters;
}

bool slashMayStartPath() { return true; }

bool answersHelpAndVersion() { return true; }

std::string lastErrorText() { return errno != 0 ? std::strerror(errno) : std::string(); }

void recordRunOutcome(RunOutcome, const std::string&) noexcept {}

} // namespace platform
