// Paths on which a careless program loses data, run through the built
// program: what the log is named, and the answers that touch no file at all.

#include <gtest/gtest.h>

#include "support/program_test.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

using namespace testing_support;
using SafePaths = ProgramTest;

namespace {

// The one port the stand-in knows in these runs.
const std::string portA = "name=A number=1\n";

} // namespace

TEST_F(SafePaths, TheConfigurationNamedAsTheLogIsKeptAndTheRunGoesOn) {
    const std::string configuration = "Port1=RS485\r\nPortX=RS232\r\n";
    writeFile(config(), configuration);
    fs::create_directory(scratch / "other");
    fs::create_hard_link(config(), scratch / "other" / "link.cfg");
    const fs::path absolute = fs::absolute(config());
    // Each spelling names the configuration file itself.
    for (const std::string& log : {std::string("bin/SkarvelConfig.cfg"), std::string("./bin/SkarvelConfig.cfg"),
                                   absolute.string(), std::string("other/link.cfg")}) {
        fs::remove(record());
        const RunResult result = run({"bin/SkarvelConfig.cfg", "/LOG=" + log}, portA);
        EXPECT_EQ(result.exitStatus, 0) << log;
        EXPECT_EQ(readFile(config()), configuration) << log << ": the configuration is neither deleted nor overwritten";
        EXPECT_EQ(readFile(record()), "A 15 RS-485 two-wire\n") << log << ": the run goes on";
    }
    EXPECT_EQ(readFile(scratch / "other" / "link.cfg"), configuration);
}

#ifndef _WIN32
TEST_F(SafePaths, ALogNamedAsADeviceOrPipeIsWrittenToNeverReplaced) {
    writeFile(config(), "Port1=RS232\n");
    const fs::path fifo = scratch / "fifo", device = scratch / "null";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const bool root = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const fs::path& log : {fifo, device}) {
        if (log == device && !root) continue; // only root makes device nodes
        const RunResult result = run({"/LOG=" + log.string()}, portA);
        EXPECT_EQ(result.exitStatus, 0) << log << ": a pipe without a reader is not waited for";
        struct stat info;
        ASSERT_EQ(lstat(log.c_str(), &info), 0) << log;
        EXPECT_TRUE(log == fifo ? S_ISFIFO(info.st_mode) : S_ISCHR(info.st_mode)) << log << " was replaced";
    }
    // A symbolic link goes itself, as Windows deletes it; what it points at stays.
    writeFile(scratch / "target.log", "someone else's file");
    fs::create_symlink(scratch / "target.log", scratch / "link.log");
    EXPECT_EQ(run({"/LOG=link.log"}, portA).exitStatus, 0);
    EXPECT_FALSE(fs::is_symlink(scratch / "link.log"));
    EXPECT_EQ(readFile(scratch / "target.log"), "someone else's file");
    EXPECT_EQ(logAt(scratch / "link.log"), withHeader({}));
    // A dangling one too: replaced, never followed to create what it names.
    fs::create_symlink(scratch / "nowhere.log", scratch / "dangling.log");
    EXPECT_EQ(run({"/LOG=dangling.log"}, portA).exitStatus, 0);
    EXPECT_FALSE(fs::is_symlink(scratch / "dangling.log"));
    EXPECT_FALSE(fs::exists(scratch / "nowhere.log"));
    EXPECT_EQ(logAt(scratch / "dangling.log"), withHeader({}));
}

TEST_F(SafePaths, TheLogIsReadableByAllAsTheUmaskAllows) {
    writeFile(config(), "Port1=RS232\n");
    const mode_t previous = umask(022);
    const RunResult result = run({}, portA);
    umask(previous);
    struct stat info;
    ASSERT_EQ(stat(log().c_str(), &info), 0) << result.standardError;
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(SafePaths, HelpAndVersionAnswerWithoutTouchingAFileOrPort) {
    writeFile(config(), "Port1=RS232\n");
    const struct {
        std::vector<std::string> arguments;
        std::string firstLine;
    } cases[] = {
        {{"--version"}, banner},
        {{"--help"}, "Usage: SkarvelConfig [CONFIGURATION-FILE] [/LOG=LOG-FILE]"},
        {{"bin/SkarvelConfig.cfg", "/LOG=other.log", "--help", "--version"}, "Usage: SkarvelConfig"},
    };
    for (const auto& c : cases) {
        writeFile(log(), "previous log");
        const RunResult result = run(c.arguments, portA, tracing());
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.standardOutput.substr(0, c.firstLine.size()), c.firstLine);
        EXPECT_EQ(readFile(log()), "previous log") << c.firstLine;
        EXPECT_FALSE(fs::exists(scratch / "other.log"));
        EXPECT_FALSE(fs::exists(trace())) << "the port library was called";
        EXPECT_FALSE(fs::exists(record()));
    }
}

TEST_F(SafePaths, CheckJudgesAConfigurationAsARunWouldWithoutAPortOrALog) {
    writeFile(scratch / "good.cfg", "[Ports]\r\n; note\r\nPort1=rs485\r\n");
    writeFile(scratch / "bad.cfg", "Port1=RS485\r\nPortX=RS232\r\nPort2=RS486\r\n");
    writeFile(config(), "Com1=RS232\n");
    const std::string unreadable = (scratch / "missing.cfg").string();
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string output;
    } cases[] = {
        {{"--check", "good.cfg"}, 0, ""},
        {{"--check", "bad.cfg"}, 1, textOf({leftHandMessage("PortX", 2), rightHandMessage("RS486", 3)}, "\n")},
        {{"--check", unreadable}, 2, textOf(openFailureLines(unreadable), "\n")},
        // Without a file: the one a run would read, beside the program.
        {{"--check"}, 1, leftHandMessage("Com1", 1) + "\n"},
    };
    for (const auto& c : cases) {
        writeFile(log(), "previous log");
        const RunResult result = run(c.arguments, portA, tracing());
        EXPECT_EQ(result.exitStatus, c.status) << c.arguments.back();
        EXPECT_EQ(result.standardOutput, c.output) << c.arguments.back();
        EXPECT_EQ(readFile(log()), "previous log") << c.arguments.back();
        EXPECT_FALSE(fs::exists(trace())) << "the port library was called";
    }
}
#endif
