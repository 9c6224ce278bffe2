// What only Windows has: the raw command line as typed, file sharing, and the
// platform's own wildcard search. Each program is started with CreateProcessA
// and the literal command-line text.

#include <gtest/gtest.h>

#include <windows.h>

#include "support/expected_log.h"
#include "support/program_runner.h"

using namespace testing_support;

namespace {

std::string firstLineMessage(const std::string& name) { return leftHandMessage(name, 1); }

class WindowsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        program = installProgram(scratch / "bin");
        fs::create_directory(work());
        writeFile(scratch / "no-ports.txt", "");
        writeFile(defaultConfig(), "default\r\n");
    }

    fs::path work() const { return scratch / "work"; }
    fs::path defaultConfig() const { return scratch / "bin" / "SkarvelConfig.cfg"; }
    fs::path defaultLog() const { return scratch / "bin" / "SkarvelConfig.log"; }

    // Runs with `arguments` typed after the program's name, exactly as given.
    RunResult typed(const std::string& arguments) {
        RunResult result = runCommandLine(program, "SkarvelConfig.exe " + arguments, work(),
                                          {{"LUMTOR_STANDIN_PORTS", (scratch / "no-ports.txt").string()}});
        EXPECT_EQ(result.exitStatus, 0) << arguments;
        return result;
    }

    ScratchDir scratch;
    fs::path program;
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
        {"a\"\"b", defaultLog(), firstLineMessage("from ab")},
        {"\"\" x.cfg", defaultLog(), firstLineMessage("from x")},
        {"one\ttwo", defaultLog(), firstLineMessage("from two")},
        // A backslash is ordinary, also before a quote: [/LOG=x\a b\y.log]
        {"/LOG=x\\\"a b\\\"y.log", work() / "x\\a b\\y.log", firstLineMessage("default")},
        // 4096 characters end a parameter; the rest is the next one.
        {over4096 + "b.cfg", defaultLog(), firstLineMessage("from b")},
    };
    for (const auto& c : cases) {
        fs::remove(defaultLog());
        typed(c.arguments);
        const Lines lines = logLines(readFile(c.log));
        EXPECT_EQ(lines, (Lines{banner, timestamp, c.message})) << c.arguments;
    }
}

TEST_F(WindowsEndToEnd, AQuotedLogPathMayHoldBlanks) {
    fs::create_directory(scratch / "Log Files");
    const std::string logPath = (scratch / "Log Files" / "run.log").string();
    typed("/LOG=\"" + logPath + "\"");
    EXPECT_EQ(logLines(readFile(logPath)), (Lines{banner, timestamp, firstLineMessage("default")}));
    EXPECT_FALSE(fs::exists(defaultLog()));
}

TEST_F(WindowsEndToEnd, AQuotedParameterPast4096CharactersIsSafe) {
    typed("/LOG=\"" + std::string(5000, 'q') + "\"");
    typed("\"" + std::string(20000, 'c') + "\"");
    EXPECT_EQ(logLines(readFile(defaultLog())), (Lines{banner, timestamp, firstLineMessage("default")}));
}

TEST_F(WindowsEndToEnd, AConfigurationHeldOpenForWritingCannotBeRead) {
    const fs::path config = work() / "held.cfg";
    writeFile(config, "Port1=RS232\r\n");
    const HANDLE writer = CreateFileA(config.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    typed("held.cfg");
    CloseHandle(writer);
    EXPECT_EQ(logLines(readFile(defaultLog())),
              (Lines{banner, timestamp, "Error loading held.cfg:", "\tEFOpenError: Cannot open file held.cfg",
                     "\tAborting."}));

    // A reader alone does not keep the program from reading.
    const HANDLE reader = CreateFileA(config.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    typed("held.cfg");
    CloseHandle(reader);
    EXPECT_EQ(logLines(readFile(defaultLog())), (Lines{banner, timestamp, "Port 1 not found."}));
}

TEST_F(WindowsEndToEnd, ALogHeldOpenByAnotherProgramStaysAsItWas) {
    writeFile(defaultLog(), "previous log");
    const HANDLE holder = CreateFileA(defaultLog().string().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    typed("");
    CloseHandle(holder);
    EXPECT_EQ(readFile(defaultLog()), "previous log");
}

TEST_F(WindowsEndToEnd, TheWildcardSearchIsThePlatformsOwn) {
    writeFile(work() / "only.cfg", "Port1=RS232\r\n");
    typed("*.cfg");
    EXPECT_EQ(logLines(readFile(defaultLog())),
              (Lines{banner, timestamp, "Error loading *.cfg:", "\tEFOpenError: Cannot open file *.cfg", "\tAborting."}));

    // A name that starts with "/" is an option, or nothing, never a file.
    typed("/only.cfg");
    EXPECT_EQ(logLines(readFile(defaultLog())), (Lines{banner, timestamp, firstLineMessage("default")}));
}
