#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "support/program_runner.h"

extern char** environ;

namespace testing_support {

std::size_t openDescriptorCount() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

RunResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                     const fs::path& workingDir, const Environment& extraEnvironment,
                     std::uint64_t addressSpaceLimit) {
    ScratchDir outputs;
    const std::string outPath = (outputs / "stdout").string();
    const std::string errPath = (outputs / "stderr").string();

    std::vector<std::string> argumentStore{program.string()};
    argumentStore.insert(argumentStore.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentStore) argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::vector<std::string> environmentStore;
    for (char** entry = environ; *entry; ++entry) environmentStore.emplace_back(*entry);
    for (const auto& [name, value] : extraEnvironment) environmentStore.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : environmentStore) envp.push_back(entry.data());
    envp.push_back(nullptr);

    // The child changes directory and limits before it starts the program.
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
        if (chdir(workingDir.c_str()) != 0) _exit(126);
        if (addressSpaceLimit != 0) {
            const rlimit limit{addressSpaceLimit, addressSpaceLimit};
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    RunResult result;
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    result.standardOutput = readFile(outPath);
    result.standardError = readFile(errPath);
    return result;
}

} // namespace testing_support
