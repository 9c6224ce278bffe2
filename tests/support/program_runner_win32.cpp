#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "support/program_runner.h"

namespace testing_support {

namespace {

HANDLE inheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

// A window station of this process's own, which nobody sees: the one a
// start-up task runs on.
char* unseenDesktop() {
    static std::string name = [] {
        const HWINSTA station = CreateWindowStationA("SkarvelUnseen", 0, WINSTA_ALL_ACCESS, nullptr);
        const HWINSTA ours = GetProcessWindowStation();
        if (station == nullptr || !SetProcessWindowStation(station) ||
            CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr) == nullptr) {
            throw std::runtime_error("no window station of our own");
        }
        SetProcessWindowStation(ours);
        return std::string("SkarvelUnseen\\Default");
    }();
    return name.data();
}

RunResult runCommandLine(const fs::path& program, const std::string& commandLine, const fs::path& workingDir,
                         const Environment& extraEnvironment, bool unseen) {
    ScratchDir outputs;
    const std::string outPath = (outputs / "stdout").string();
    const std::string errPath = (outputs / "stderr").string();

    // This process's environment with the extra variables in front; a later
    // duplicate of a name is ignored by the lookup.
    std::string block;
    for (const auto& [name, value] : extraEnvironment) block += name + "=" + value + '\0';
    char* inherited = GetEnvironmentStringsA();
    for (const char* entry = inherited; *entry; entry += std::strlen(entry) + 1) {
        const std::string text(entry);
        bool overridden = false;
        for (const auto& extra : extraEnvironment) overridden |= text.rfind(extra.first + "=", 0) == 0;
        if (!overridden) block += text + '\0';
    }
    FreeEnvironmentStringsA(inherited);
    block += '\0';

    RunResult result;
    {
        const HANDLE in = inheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
        const HANDLE out = inheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
        const HANDLE err = inheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        if (unseen) startup.lpDesktop = unseenDesktop();
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process{};
        const std::string application = program.string();
        const std::string directory = workingDir.string();
        // Wine now and then fails to start a process while it is busy
        // starting its own services; a second try is not a different run.
        BOOL started = FALSE;
        DWORD error = 0;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            if (attempt > 0) Sleep(500);
            std::string text = commandLine;
            started = CreateProcessA(application.c_str(), text.data(), nullptr, nullptr, TRUE, 0, block.data(),
                                     directory.c_str(), &startup, &process);
            if (!started) error = GetLastError();
        }
        CloseHandle(in);
        CloseHandle(out);
        CloseHandle(err);
        if (!started) {
            throw std::runtime_error("CreateProcessA failed for " + application + " (error " + std::to_string(error) + ")");
        }
        // A program that hangs fails its test instead of stopping the suite.
        if (WaitForSingleObject(process.hProcess, 300000) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 259);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exitStatus = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    result.standardOutput = readFile(outPath);
    result.standardError = readFile(errPath);
    return result;
}

RunResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                     const fs::path& workingDir, const Environment& extraEnvironment, std::uint64_t) {
    // Each argument quoted whole; the program splits the text by its own rules.
    // Appended piece by piece: GCC 12 misreads "\"" + text + "\"" as overlapping copies.
    std::string commandLine(1, '"');
    commandLine.append(program.string()).push_back('"');
    for (const std::string& argument : arguments) commandLine.append(" \"").append(argument).push_back('"');
    return runCommandLine(program, commandLine, workingDir, extraEnvironment);
}

} // namespace testing_support
