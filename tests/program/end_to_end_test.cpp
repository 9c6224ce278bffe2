// Runs the built program on real files and reads the log it leaves.

#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "support/program_test.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace testing_support;

namespace {

// Run from a folder of their own, apart from the program's.
class EndToEnd : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        workingDir = work();
        fs::create_directory(work());
    }
};

} // namespace

TEST_F(EndToEnd, TheLogHoldsTheHeaderAndAMessageForEveryUnusableLine) {
    writeFile(config(),
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
    runCleanly();
    EXPECT_EQ(logged(), withHeader({rightHandMessage("", 3), leftHandMessage("", 4), leftHandMessage("Portable", 6),
                                    leftHandMessage("Port2147483648", 7), rightHandMessage("RS232 ; main", 8),
                                    rightHandMessage("RS 232", 9), leftHandMessage("Port\t2", 10),
                                    rightHandMessage("RS486", 11), rightHandMessage("\xc4\xd6", 12), portNotFound(7)}));
}

TEST_F(EndToEnd, TheTimestampIsTheLocalTimeOfTheRun) {
    writeFile(config(), "");
    const std::time_t before = std::time(nullptr);
    runCleanly();
    const std::time_t after = std::time(nullptr);
    const std::string text = readFile(log());
    const std::string bannerPattern = std::regex_replace(banner, std::regex("\\."), "\\.");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        text, m, std::regex(bannerPattern + "\r\n(\\d{4}):(\\d\\d):(\\d\\d)::(\\d{1,2}):(\\d\\d):(\\d\\d)\r\n")))
        << text;
    ASSERT_FALSE(m[4].str().size() == 2 && m[4].str()[0] == '0') << "hour has no leading zero";
    std::tm local{};
    local.tm_year = std::stoi(m[1]) - 1900;
    local.tm_mon = std::stoi(m[2]) - 1;
    local.tm_mday = std::stoi(m[3]);
    local.tm_hour = std::stoi(m[4]);
    local.tm_min = std::stoi(m[5]);
    local.tm_sec = std::stoi(m[6]);
    local.tm_isdst = -1;
    const std::time_t stamped = std::mktime(&local);
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, after);
}

TEST_F(EndToEnd, AnUnreadableConfigurationGivesExactlyFiveLines) {
    // No configuration file next to the program: exactly these bytes, CR LF after every line.
    runCleanly();
    const std::string raw = readFile(log());
    const std::size_t timestampEnd = raw.find("\r\n", banner.size() + 2);
    ASSERT_NE(timestampEnd, std::string::npos);
    EXPECT_EQ(raw.substr(0, banner.size() + 2), banner + "\r\n");
    EXPECT_EQ(raw.substr(timestampEnd + 2), textOf(openFailureLines(config().string())));

    // The default configuration is a directory.
    fs::create_directory(config());
    runCleanly();
    EXPECT_EQ(logged(), withHeader(openFailureLines(config().string())));
}

TEST_F(EndToEnd, CommandLineOptionsChooseTheFiles) {
    writeFile(config(), "default\n");
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
        fs::remove(log());
        runCleanly(c.arguments);
        const Lines lines = logAt(c.logName.empty() ? log() : work() / c.logName);
        ASSERT_GE(lines.size(), 3u) << ::testing::PrintToString(c.arguments);
        if (!c.message.empty()) {
            EXPECT_EQ(lines.size(), 3u);
            EXPECT_EQ(lines[2], c.message) << ::testing::PrintToString(c.arguments);
        } else {
            EXPECT_EQ(Lines(lines.begin() + 2, lines.end()), openFailureLines("a.c?g"));
        }
        if (!c.logName.empty()) {
            EXPECT_FALSE(fs::exists(log()));
        }
    }
}

TEST_F(EndToEnd, AWildcardParameterNamesTheConfigurationAsTyped) {
    writeFile(work() / "only.cfg", "Port1=RS232\n");
    runCleanly({"*.cfg"});
    EXPECT_EQ(logged(), withHeader(openFailureLines("*.cfg")));
}

TEST_F(EndToEnd, TheLogPathDecidesWhatIsDeletedAndWritten) {
    writeFile(config(), "Port1=RS232\n");

    // An empty log path: nothing deleted, nothing written.
    writeFile(log(), "old log");
    runCleanly({"/LOG="});
    EXPECT_EQ(readFile(log()), "old log");

    // A longer previous log is replaced completely.
    writeFile(log(), std::string(10000, 'x'));
    runCleanly();
    EXPECT_EQ(logged(), withHeader({portNotFound(1)}));

    // A log in a folder that does not exist: no file, no complaint.
    runCleanly({"/LOG=" + (work() / "no" / "such" / "run.log").string()});
    EXPECT_FALSE(fs::exists(work() / "no"));

    // A log path that is a directory stays a directory.
    fs::create_directory(work() / "logdir");
    runCleanly({"/LOG=logdir"});
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
        {"utf16", utf16, 3, leftHandMessage("\xff\xfeP", 1)},
        {"long line", longLine, 3, leftHandMessage(longLine, 1)},
        {"million valid", manyLines, 1000002, portNotFound(999)},
        {"million invalid", manyBad, 1000002, leftHandMessage("x", 1000000)},
    };
    for (const auto& c : cases) {
        writeFile(config(), c.content);
        runCleanly();
        const Lines lines = logged();
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
    runCleanly({fifo.string()});
    EXPECT_EQ(logged(), withHeader(openFailureLines(fifo.string())));
}
#endif
