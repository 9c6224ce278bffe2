#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

extern char** environ;

namespace platform {

// Every run of one installation locks the program's own file, which every
// user may open and no run removes.
RunLock::RunLock(int limitSeconds) : handle_(-1) {
    const int fd = open((programDir() + jobProgramFileName()).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    timespec pause{0, 50 * 1000 * 1000};
    for (long waited = 0; waited <= limitSeconds * 20L; ++waited) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            handle_ = fd;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        nanosleep(&pause, nullptr);
    }
    close(fd);
}

RunLock::~RunLock() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool RunLock::held() const { return handle_ >= 0; }

bool programTakesRunLock() { return false; }

std::string jobProgramFileName() { return "SkarvelConfig"; }

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& parameters) {
    // The log held open meanwhile tells whether it was written (FileWitness).
    ProgramRun run;
    std::vector<std::string> arguments{program};
    arguments.insert(arguments.end(), parameters.begin(), parameters.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int started = posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (started != 0) {
        run.failure = std::strerror(started);
        return run;
    }
    int waited = 0;
    while (waitpid(child, &waited, 0) < 0) {
        if (errno != EINTR) {
            run.failure = std::strerror(errno);
            return run;
        }
    }
    // A program ended by a signal did not end in the ordinary way.
    run.started = true;
    run.status = WIFEXITED(waited) ? WEXITSTATUS(waited) : 128 + WTERMSIG(waited);
    return run;
}

void tellLogWritten() noexcept {}

WriteRefusal whyNotWritable(const std::string& path) {
    // An existing file is opened for writing and left as it is; a new one is
    // made, given a byte (a full file system refuses that, not the name)
    // and removed: the answer without a trace.
    int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    bool made = false;
    if (fd < 0 && errno == ENOENT) {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
        made = fd >= 0;
    }
    if (fd < 0) return {std::strerror(errno), errno == EACCES || errno == EPERM};
    int error = 0;
    if (made) {
        if (::write(fd, "", 1) != 1 || fsync(fd) != 0) error = errno;
        unlink(path.c_str());
    }
    close(fd);
    if (error == 0) return {};
    return {std::strerror(error), false};
}

} // namespace platform
