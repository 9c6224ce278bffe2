#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Runs the built program as a separate process and reads what it left behind.

namespace testing_support {

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

struct RunResult {
    int exitStatus = -1; // the status the process exited with, -1 if it did not exit
    std::string standardOutput;
    std::string standardError;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs `program` with `arguments` in `workingDir`, with `extraEnvironment`
// added to this process's environment and, when not 0 (POSIX only), its
// address space limited to `addressSpaceLimit` bytes.
RunResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                     const fs::path& workingDir, const Environment& extraEnvironment = {},
                     std::uint64_t addressSpaceLimit = 0);

#ifdef _WIN32
// Runs `program` with exactly `commandLine` as its raw command-line text;
// `unseen`: on a window station nobody sees, as a start-up task runs.
RunResult runCommandLine(const fs::path& program, const std::string& commandLine, const fs::path& workingDir,
                         const Environment& extraEnvironment = {}, bool unseen = false);
#endif

// How many descriptors this process has open (POSIX): a leak shows as a rise.
std::size_t openDescriptorCount();

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& bytes);

// The built program, and a copy of it (with the library it needs) in `dir`.
fs::path builtProgram();
// What runs it from a command line and shows its log: SkarvelConfig.com on
// Windows, SkarvelConfigRun (the skarvelconfig command's) on Linux.
fs::path builtWatchedRun();
fs::path builtPortLibrary();
fs::path installProgram(const fs::path& dir);

} // namespace testing_support
