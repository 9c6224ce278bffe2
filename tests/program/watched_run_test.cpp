// The run as the skarvelconfig command (Linux) and SkarvelConfig.com
// (Windows) make it: the program run beside them, its log shown only when
// this run wrote it, and the run's outcome as their exit status.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/program_test.h"

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

using namespace testing_support;

namespace {

class WatchedRun : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        runner = bin() / builtWatchedRun().filename();
        fs::copy_file(builtWatchedRun(), runner, fs::copy_options::overwrite_existing);
    }

    // The watched run: its status and the lines it showed, the timestamp as in logLines.
    RunResult watch(const std::vector<std::string>& arguments, const Ports& ports = "") {
        const fs::path job = program;
        program = runner;
        RunResult result = run(arguments, ports);
        program = job;
        return result;
    }
    static Lines shown(const RunResult& result) {
        std::string text;
        for (char c : result.standardOutput) {
            if (c == '\n') text += '\r';
            if (c != '\r') text += c;
        }
        return logLines(text);
    }

    fs::path runner;
};

} // namespace

// Each shown line as expected; one expected to end in ": " only begins it
// (the system's reason follows).
namespace {

bool showsAsExpected(const Lines& shown, const Lines& expected) {
    if (shown.size() != expected.size()) return false;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const bool begins = expected[i].size() > 2 && expected[i].substr(expected[i].size() - 2) == ": ";
        if (begins ? shown[i].rfind(expected[i], 0) != 0 || shown[i].size() == expected[i].size()
                   : shown[i] != expected[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST_F(WatchedRun, ShowsThisRunsLogAndEndsWithItsOutcome) {
    const std::string unwritable = (scratch / "no" / "such" / "x.log").string();
    Lines unreadable = withHeader(openFailureLines(config().string()));
    unreadable.push_back("SkarvelConfig could not read its configuration " + config().string() + ": ");
    const struct {
        const char* name;
        const char* configuration; // null: none
        Ports ports;
        std::vector<std::string> arguments;
        int status;
        Lines shown; // the log's lines, or what is said instead or besides
    } cases[] = {
        {"the shipped configuration sets nothing: ports left alone are clean", "", builtInPorts, {}, 0,
         withHeader({portWithoutMode(1), portWithoutMode(2), portWithoutMode(3), portWithoutMode(4)})},
        {"every port set", "Port1=RS232\nPort2=RS422\n", "name=A number=1\nname=B number=2\n", {}, 0, withHeader({})},
        {"a port not found", "Port9=RS232\n", "", {}, 1, withHeader({portNotFound(9)})},
        {"a refused mode", "Port1=RS422\n", "name=A number=1 set=refuse\n", {}, 1, withHeader({portNotSet(1)})},
        {"an unusable line", "Port1=RS486\n", "", {}, 1, withHeader({rightHandMessage("RS486", 1)})},
        {"a configuration that cannot be read: its log, and the system's reason", nullptr, "", {}, 2, unreadable},
        {"a log that cannot be written", "", "", {"/LOG=" + unwritable}, 2,
         {"SkarvelConfig could not write its log " + unwritable + ": "}},
        {"a log named like the configuration", "", "", {"/LOG=" + config().string()}, 2,
         {"SkarvelConfig wrote no log to " + config().string() + ": it names the configuration file, which is kept."}},
        {"no log asked for", "Port9=RS232\n", "", {"/LOG="}, 0, {"SkarvelConfig wrote no log: /LOG= names no file."}},
        {"the program ended through its failure report: its status said", "Port1=RS232\n",
         "name=A number=1 fault=txvr\n", {}, 2, {"SkarvelConfig ended with status 1 before writing its log."}},
    };
    for (const auto& c : cases) {
        fs::remove(log());
        fs::remove(config());
        if (c.configuration) writeFile(config(), c.configuration);
        const RunResult result = watch(c.arguments, c.ports);
        EXPECT_EQ(result.exitStatus, c.status) << c.name << "\n" << result.standardOutput << result.standardError;
        EXPECT_TRUE(showsAsExpected(shown(result), c.shown)) << c.name << ":\n" << result.standardOutput;
        if (c.status < 2 && c.shown.size() > 1) {
            EXPECT_EQ(logged(), c.shown) << c.name;
        }
    }
}

TEST_F(WatchedRun, AProgramThatCannotStartLeavesTheLastLogAlone) {
    writeFile(log(), "the last run's\r\n");
    fs::remove(program);
    const RunResult result = watch({});
    EXPECT_EQ(result.exitStatus, 2);
    const Lines lines = shown(result);
    ASSERT_EQ(lines.size(), 1u) << result.standardOutput;
    EXPECT_EQ(lines[0].rfind("SkarvelConfig: " + program.string() + " cannot be started: ", 0), 0u) << lines[0];
    EXPECT_EQ(readFile(log()), "the last run's\r\n");
}

#ifndef _WIN32

namespace {

// Makes a file that nobody can delete or change, as a log left by a run
// with more rights: immutable for root, a read-only file in a read-only
// folder for anyone else. False where neither can be had.
bool makeUnchangeable(const fs::path& file) {
    if (geteuid() != 0) {
        fs::permissions(file, fs::perms::owner_read);
        fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
        return true;
    }
    const int fd = open(file.c_str(), O_RDONLY);
    int flags = 0;
    const bool made = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                      (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (fd >= 0) close(fd);
    return made;
}

void makeChangeable(const fs::path& file) {
    fs::permissions(file.parent_path(), fs::perms::owner_all, fs::perm_options::add);
    const int fd = open(file.c_str(), O_RDONLY);
    int flags = 0;
    if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) close(fd);
}

} // namespace

TEST_F(WatchedRun, AnOldLogThisRunCouldNotReplaceIsNeverShownAsItsOwn) {
    const fs::path folder = scratch / "logs";
    const fs::path old = folder / "SkarvelConfig.log";
    fs::create_directory(folder);
    // The last boot's log, from a run that had the rights to write it.
    const std::string lastBoot = textOf(withHeader({}));
    writeFile(old, lastBoot);
    if (!makeUnchangeable(old)) GTEST_SKIP() << "no immutable files here";
    const RunResult result = watch({"/LOG=" + old.string()}, "name=A number=1\n");
    makeChangeable(old);
    EXPECT_EQ(result.exitStatus, 2) << result.standardOutput;
    const Lines lines = shown(result);
    ASSERT_EQ(lines.size(), 1u) << result.standardOutput;
    EXPECT_EQ(lines[0].rfind("SkarvelConfig could not write its log " + old.string() + ": ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("can write it."), std::string::npos) << "the hint for access denied: " << lines[0];
    EXPECT_EQ(readFile(old), lastBoot);
}

TEST_F(WatchedRun, MarksEachLineWithItsPriorityWhenItsOutputIsTheJournal) {
    writeFile(config(), "Port1=RS485\nbad\nPort9=RS232\n");
    // What systemd does for a unit: JOURNAL_STREAM names the stream it connected.
    const fs::path shell = "/bin/sh";
    writeFile(scratch / "two-ports.txt", "name=A number=1\nname=B number=2\n");
    const RunResult result = runProgram(
        shell, {"-c", "JOURNAL_STREAM=$(stat -L -c %d:%i /proc/$$/fd/1) exec \"$0\"", runner.string()}, workingDir,
        {{"LUMTOR_STANDIN_PORTS", (scratch / "two-ports.txt").string()}});
    EXPECT_EQ(result.exitStatus, 1) << result.standardError;
    const Lines lines = splitLines(result.standardOutput, "\n");
    ASSERT_EQ(lines.size(), 5u) << result.standardOutput;
    EXPECT_EQ(lines[0], "<6>" + banner);
    EXPECT_EQ(lines[1].substr(0, 3), "<6>");
    EXPECT_EQ(lines[2], "<4>" + leftHandMessage("bad", 2));
    EXPECT_EQ(lines[3], "<5>" + portWithoutMode(2));
    EXPECT_EQ(lines[4], "<4>" + portNotFound(9));
}

TEST_F(WatchedRun, WaitsForARunStillGoingButNotForOneThatHangs) {
    writeFile(config(), "");
    writeFile(log(), "the last run's\r\n");
    // A run that holds the ports and does not end: it holds the lock every
    // run of this installation takes, on the program's own file.
    const int held = open(program.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const auto started = std::chrono::steady_clock::now();
    RunResult result;
    std::thread later([&] { result = watch({}, "name=A number=1\n"); });
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(readFile(log()), "the last run's\r\n") << "the later run waits before it touches anything";
    later.join();
    close(held);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::seconds(30));
    EXPECT_LT(waited, std::chrono::seconds(60));
    EXPECT_EQ(result.exitStatus, 0) << result.standardOutput;
    EXPECT_EQ(logged(), withHeader({portWithoutMode(1)}));
}

#endif
