// Runs the built program on real files and reads the log it leaves.

#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "support/expected_log.h"
#include "support/program_runner.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace testing_support;

namespace {


class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        program = installProgram(scratch / "bin");
        std::filesystem::create_directory(work());
    }

    fs::path work() const { return scratch / "work"; }
    fs::path defaultConfig() const { return scratch / "bin" / "SkarvelConfig.cfg"; }
    fs::path defaultLog() const { return scratch / "bin" / "SkarvelConfig.log"; }

    // The port library knows no ports here, so every entry is reported as not found.
    RunResult run(const std::vector<std::string>& arguments = {}) {
        writeFile(scratch / "no-ports.txt", "");
        RunResult result = runProgram(program, arguments, work(),
                                      {{"LUMTOR_STANDIN_PORTS", (scratch / "no-ports.txt").string()}});
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        EXPECT_EQ(result.standardError, "");
        EXPECT_EQ(result.standardOutput, "");
        return result;
    }

    std::vector<std::string> logAt(const fs::path& path) { return logLines(readFile(path)); }

    ScratchDir scratch;
    fs::path program;
};

} // namespace

TEST_F(EndToEnd, TheLogHoldsTheHeaderAndAMessageForEveryUnusableLine) {
    writeFile(defaultConfig(),
              "[Ports]\r\n"
              "; comment\r\n"
              "Port1\r\n"
              "=RS232\r\n"
              "port 7 = rs485-2w\r\n"
              "Portable=RS232\r\n"
              "Port2147483648=RS232\r\n"
              "Port1=RS232 ; main\r\n"
              "Port1=RS 232\r\n"
              "Port\t2=RS232\r\n"
              "Port3=RS486\r\n"
              "Port4=\xc4\xd6\r\n");
    run();
    EXPECT_EQ(logAt(defaultLog()),
              (std::vector<std::string>{
                  banner, timestamp,
                  R"(RValue "" on line 3 should be "RS232", "RS422", "RS485", "RS485-4W".)",
                  R"(LValue "" on line 4 should be of "Port0", "Port1", etc. form.)",
                  R"(LValue "Portable" on line 6 should be of "Port0", "Port1", etc. form.)",
                  R"(LValue "Port2147483648" on line 7 should be of "Port0", "Port1", etc. form.)",
                  R"(RValue "RS232 ; main" on line 8 should be "RS232", "RS422", "RS485", "RS485-4W".)",
                  R"(RValue "RS 232" on line 9 should be "RS232", "RS422", "RS485", "RS485-4W".)",
                  "LValue \"Port\t2\" on line 10 should be of \"Port0\", \"Port1\", etc. form.",
                  R"(RValue "RS486" on line 11 should be "RS232", "RS422", "RS485", "RS485-4W".)",
                  "RValue \"\xc4\xd6\" on line 12 should be \"RS232\", \"RS422\", \"RS485\", \"RS485-4W\".",
                  "Port 7 not found.",
              }));
}

TEST_F(EndToEnd, TheTimestampIsTheLocalTimeOfTheRun) {
    writeFile(defaultConfig(), "");
    const std::time_t before = std::time(nullptr);
    run();
    const std::time_t after = std::time(nullptr);
    const std::string log = readFile(defaultLog());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(log, m, std::regex("SkarvelConfig 1\\.01\r\n(\\d{4}):(\\d\\d):(\\d\\d)::(\\d{1,2}):(\\d\\d):(\\d\\d)\r\n")))
        << log;
    ASSERT_FALSE(m[4].str().size() == 2 && m[4].str()[0] == '0') << "hour has no leading zero";
    std::tm local{};
    local.tm_year = std::stoi(m[1]) - 1900;
    local.tm_mon = std::stoi(m[2]) - 1;
    local.tm_mday = std::stoi(m[3]);
    local.tm_hour = std::stoi(m[4]);
    local.tm_min = std::stoi(m[5]);
    local.tm_sec = std::stoi(m[6]);
    local.tm_isdst = -1;
    const std::time_t logged = std::mktime(&local);
    EXPECT_GE(logged, before);
    EXPECT_LE(logged, after);
}

TEST_F(EndToEnd, AnUnreadableConfigurationGivesExactlyFiveLines) {
    // No configuration file next to the program: exactly these bytes, CR LF after every line.
    run();
    const std::string raw = readFile(defaultLog());
    const std::size_t timestampEnd = raw.find("\r\n", banner.size() + 2);
    ASSERT_NE(timestampEnd, std::string::npos);
    const std::string path = defaultConfig().string();
    EXPECT_EQ(raw.substr(0, banner.size() + 2), banner + "\r\n");
    EXPECT_EQ(raw.substr(timestampEnd),
              "\r\nError loading " + path + ":\r\n\tEFOpenError: Cannot open file " + path + "\r\n\tAborting.\r\n");

    // The default configuration is a directory.
    fs::create_directory(defaultConfig());
    run();
    EXPECT_EQ(logAt(defaultLog()), withHeader(openFailureLines(defaultConfig().string())));
}

TEST_F(EndToEnd, CommandLineOptionsChooseTheFiles) {
    writeFile(defaultConfig(), "default\n");
    writeFile(work() / "a.cfg", "from a\n");
    writeFile(work() / "b.cfg", "from b\n");
    fs::create_directory(work() / "folder.cfg");
    const auto firstMessage = [](const std::string& name) { return leftHandMessage(name, 1); };
    const std::string absolute = (work() / "b.cfg").string();
    const struct {
        std::vector<std::string> arguments;
        std::string logName; // relative to the working directory; empty: the default log
        std::string message;
    } cases[] = {
        {{}, "", firstMessage("default")},
        {{"/log=run.txt"}, "run.txt", firstMessage("default")},
        {{"/LOG=sub-log.txt", "a.cfg"}, "sub-log.txt", firstMessage("from a")},
        {{"a.cfg", "b.cfg"}, "", firstMessage("from b")},
        {{"b.cfg", "a.cfg", "missing.cfg", "folder.cfg"}, "", firstMessage("from a")},
        {{"/LOGFILE=x.txt"}, "", firstMessage("default")},
        {{absolute}, "", firstMessage("from b")},
        {{"a.c?g"}, "", ""}, // the pattern itself becomes the path, which cannot be opened
    };
    for (const auto& c : cases) {
        fs::remove(defaultLog());
        run(c.arguments);
        const fs::path log = c.logName.empty() ? defaultLog() : work() / c.logName;
        const std::vector<std::string> lines = logAt(log);
        ASSERT_GE(lines.size(), 3u) << ::testing::PrintToString(c.arguments);
        if (!c.message.empty()) {
            EXPECT_EQ(lines.size(), 3u);
            EXPECT_EQ(lines[2], c.message) << ::testing::PrintToString(c.arguments);
        } else {
            EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()), openFailureLines("a.c?g"));
        }
        if (!c.logName.empty()) {
            EXPECT_FALSE(fs::exists(defaultLog()));
        }
    }
}

TEST_F(EndToEnd, AWildcardParameterNamesTheConfigurationAsTyped) {
    writeFile(work() / "only.cfg", "Port1=RS232\n");
    run({"*.cfg"});
    EXPECT_EQ(logAt(defaultLog()), withHeader(openFailureLines("*.cfg")));
}

TEST_F(EndToEnd, TheLogPathDecidesWhatIsDeletedAndWritten) {
    writeFile(defaultConfig(), "Port1=RS232\n");

    // An empty log path: nothing deleted, nothing written.
    writeFile(defaultLog(), "old log");
    run({"/LOG="});
    EXPECT_EQ(readFile(defaultLog()), "old log");

    // A longer previous log is replaced completely.
    writeFile(defaultLog(), std::string(10000, 'x'));
    run();
    EXPECT_EQ(logAt(defaultLog()), (std::vector<std::string>{banner, timestamp, "Port 1 not found."}));

    // A log in a folder that does not exist: no file, no complaint.
    run({"/LOG=" + (work() / "no" / "such" / "run.log").string()});
    EXPECT_FALSE(fs::exists(work() / "no"));

    // A log path that is a directory stays a directory.
    fs::create_directory(work() / "logdir");
    run({"/LOG=logdir"});
    EXPECT_TRUE(fs::is_directory(work() / "logdir"));
}

TEST_F(EndToEnd, HostileConfigurationFilesNeverStopTheRun) {
    std::string binary;
    for (int i = 1; i < 256; ++i) binary.push_back(static_cast<char>(i));
    std::string utf16{"\xff\xfe"};
    for (char c : std::string("Port1=RS232\r\n")) utf16 += std::string{c, '\0'};
    std::string longLine(100000, 'L');
    std::string manyLines;
    for (int i = 0; i < 1000000; ++i) manyLines += "Port" + std::to_string(i % 1000) + "=RS485\r\n";
    std::string manyBad;
    for (int i = 0; i < 1000000; ++i) manyBad += "x\r";

    const struct {
        std::string name;
        std::string content;
        std::size_t lines;     // in the log, header included
        std::string lastLine;  // empty: not checked
    } cases[] = {
        {"binary", binary, 3, ""},
        {"utf16", utf16, 3, R"(LValue ")" "\xff\xfeP" R"(" on line 1 should be of "Port0", "Port1", etc. form.)"},
        {"long line", longLine, 3, "LValue \"" + longLine + "\" on line 1 should be of \"Port0\", \"Port1\", etc. form."},
        {"million valid", manyLines, 1000002, "Port 999 not found."},
        {"million invalid", manyBad, 1000002,
         R"(LValue "x" on line 1000000 should be of "Port0", "Port1", etc. form.)"},
    };
    for (const auto& c : cases) {
        writeFile(defaultConfig(), c.content);
        run();
        const std::vector<std::string> lines = logAt(defaultLog());
        EXPECT_EQ(lines.size(), c.lines) << c.name;
        if (!c.lastLine.empty() && !lines.empty()) {
            EXPECT_EQ(lines.back(), c.lastLine) << c.name;
        }
    }
}

#ifndef _WIN32
// FIFOs are a POSIX thing; on Windows devices and pipes are refused alike.
TEST_F(EndToEnd, AFifoAsConfigurationIsUnreadableAndDoesNotHang) {
    const fs::path fifo = work() / "pipe.cfg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    run({fifo.string()});
    EXPECT_EQ(logAt(defaultLog()), withHeader(openFailureLines(fifo.string())));
}
#endif
