// What only Windows has: the raw command line as typed, file sharing, and the
// platform's own wildcard search. Each program is started with CreateProcessA
// and the literal command-line text.

#include <gtest/gtest.h>

#include <windows.h>

#include "support/program_test.h"

using namespace testing_support;

namespace {

std::string firstLineMessage(const std::string& name) { return leftHandMessage(name, 1); }

// Where Wine keeps a file, as a Unix path; empty on Windows.
std::string unixPathOf(const fs::path& path) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto find = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!find) return "";
    char* name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(find))(path.wstring().c_str());
    if (!name) return "";
    const std::string text = name;
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

// Run from a folder of their own, with a default configuration beside the program.
class WindowsEndToEnd : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        workingDir = work();
        fs::create_directory(work());
        writeFile(config(), "default\r\n");
    }

    // Runs with `arguments` typed after the program's name, exactly as given.
    RunResult typed(const std::string& arguments) {
        RunResult result = runTyped("SkarvelConfig.exe " + arguments);
        EXPECT_EQ(result.exitStatus, 0) << arguments;
        return result;
    }
};

} // namespace

TEST_F(WindowsEndToEnd, TheRawCommandLineIsSplitByTheProgramsOwnRules) {
    writeFile(work() / "ab", "from ab\r\n");
    writeFile(work() / "x.cfg", "from x\r\n");
    writeFile(work() / "one", "from one\r\n");
    writeFile(work() / "two", "from two\r\n");
    fs::create_directories(work() / "x\\a b");
    const std::string over4096(4096, 'a');
    writeFile(work() / "b.cfg", "from b\r\n");
    const struct {
        std::string arguments;
        fs::path log;
        std::string message;
    } cases[] = {
        {"a\"\"b", log(), firstLineMessage("from ab")},
        {"\"\" x.cfg", log(), firstLineMessage("from x")},
        {"one\ttwo", log(), firstLineMessage("from two")},
        // A backslash is ordinary, also before a quote: [/LOG=x\a b\y.log]
        {"/LOG=x\\\"a b\\\"y.log", work() / "x\\a b\\y.log", firstLineMessage("default")},
        // 4096 characters end a parameter; the rest is the next one.
        {over4096 + "b.cfg", log(), firstLineMessage("from b")},
    };
    for (const auto& c : cases) {
        fs::remove(log());
        typed(c.arguments);
        EXPECT_EQ(logAt(c.log), withHeader({c.message})) << c.arguments;
    }
}

TEST_F(WindowsEndToEnd, AQuotedLogPathMayHoldBlanks) {
    fs::create_directory(scratch / "Log Files");
    const std::string logPath = (scratch / "Log Files" / "run.log").string();
    typed("/LOG=\"" + logPath + "\"");
    EXPECT_EQ(logAt(logPath), withHeader({firstLineMessage("default")}));
    EXPECT_FALSE(fs::exists(log()));
}

TEST_F(WindowsEndToEnd, AQuotedParameterPast4096CharactersIsSafe) {
    typed("/LOG=\"" + std::string(5000, 'q') + "\"");
    typed("\"" + std::string(20000, 'c') + "\"");
    EXPECT_EQ(logged(), withHeader({firstLineMessage("default")}));
}

TEST_F(WindowsEndToEnd, AConfigurationHeldOpenForWritingCannotBeRead) {
    const fs::path held = work() / "held.cfg";
    writeFile(held, "Port1=RS232\r\n");
    const HANDLE writer = CreateFileA(held.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    typed("held.cfg");
    CloseHandle(writer);
    EXPECT_EQ(logged(), withHeader(openFailureLines("held.cfg")));

    // A reader alone does not keep the program from reading.
    const HANDLE reader = CreateFileA(held.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    typed("held.cfg");
    CloseHandle(reader);
    EXPECT_EQ(logged(), withHeader({portNotFound(1)}));
}

TEST_F(WindowsEndToEnd, ALogHeldOpenByAnotherProgramStaysAsItWas) {
    writeFile(log(), "previous log");
    const HANDLE holder = CreateFileA(log().string().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    typed("");
    CloseHandle(holder);
    EXPECT_EQ(readFile(log()), "previous log");
}

TEST_F(WindowsEndToEnd, TheWildcardSearchIsThePlatformsOwn) {
    writeFile(work() / "only.cfg", "Port1=RS232\r\n");
    typed("*.cfg");
    EXPECT_EQ(logged(), withHeader(openFailureLines("*.cfg")));

    // A name that starts with "/" is an option, or nothing, never a file:
    // neither where Windows looks for it (the root of the drive) nor where
    // Wine does (a Unix path).
    const fs::path atRoot = work().root_path() / "only.cfg";
    writeFile(atRoot, "Port1=RS232\r\n");
    for (const std::string& slashed : {std::string("/only.cfg"), unixPathOf(work() / "only.cfg")}) {
        if (slashed.empty()) continue;
        typed("\"" + slashed + "\"");
        EXPECT_EQ(logged(), withHeader({firstLineMessage("default")})) << slashed;
    }
    fs::remove(atRoot);
}

// The windowed program has no console: "--help" and "--version" are
// parameters like others, and the run goes on.
TEST_F(WindowsEndToEnd, TheWindowedProgramAnswersNoHelp) {
    const RunResult result = typed("--help --version");
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(logged(), withHeader({firstLineMessage("default")}));
}

// A pipe or a device is no configuration file: reading one could wait for
// ever, or read as empty. Checked through the companion, which reads the
// path it is given.
TEST_F(WindowsEndToEnd, AConfigurationThatNamesAPipeOrADeviceIsNotRead) {
    const std::string pipe = "\\\\.\\pipe\\skarvel-" + std::to_string(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0,
                                           nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    for (const std::string& path : {pipe, std::string("NUL")}) {
        const RunResult result = runProgram(builtWatchedRun(), {"--check", path}, work());
        EXPECT_EQ(result.exitStatus, 2) << path;
        EXPECT_EQ(result.standardOutput.rfind(openFailureLines(path)[0], 0), 0u) << result.standardOutput;
    }
    CloseHandle(server);
}
