#include "support/program_runner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testing_support {

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "skarvel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch directory");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
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
    if (WIFSIGNALED(status)) result.terminatingSignal = WTERMSIG(status);
    result.standardOutput = readFile(outPath);
    result.standardError = readFile(errPath);
    return result;
}

fs::path builtProgram() { return SKARVEL_PROGRAM_FILE; }

fs::path installProgram(const fs::path& dir) {
    fs::create_directories(dir);
    const fs::path program = dir / builtProgram().filename();
    fs::copy_file(builtProgram(), program, fs::copy_options::overwrite_existing);
#ifdef SKARVEL_PORT_LIBRARY_FILE
    const fs::path library = SKARVEL_PORT_LIBRARY_FILE;
    fs::copy_file(library, dir / library.filename(), fs::copy_options::overwrite_existing);
#endif
    return program;
}

std::vector<std::string> logLines(const std::string& logBytes) {
    std::vector<std::string> lines;
    std::size_t position = 0;
    while (position < logBytes.size()) {
        const std::size_t end = logBytes.find("\r\n", position);
        if (end == std::string::npos) throw std::runtime_error("log does not end in CR LF");
        lines.push_back(logBytes.substr(position, end - position));
        position = end + 2;
    }
    static const std::regex timestamp(R"(\d{4,}:\d\d:\d\d::\d{1,2}:\d\d:\d\d)");
    if (lines.size() >= 2 && std::regex_match(lines[1], timestamp)) lines[1] = "<timestamp>";
    return lines;
}

} // namespace testing_support
