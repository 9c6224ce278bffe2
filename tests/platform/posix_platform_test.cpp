#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <optional>
#include <thread>

#include "base/run_log.h"
#include "platform/platform.h"
#include "platform/posix/files_posix.h"
#include "platform/posix/program_file_posix.h"
#include "platform/posix/wildcard.h"
#include "support/program_runner.h"

using namespace base;
using namespace platform;

using testing_support::ScratchDir;
using testing_support::writeFile;

TEST(Wildcard, OnlyStarAndQuestionMarkAreSpecial) {
    const struct {
        std::string pattern, name;
        bool matches;
    } cases[] = {
        {"*.cfg", "a.cfg", true},     {"*.cfg", ".cfg", true},      {"*.cfg", "a.cfgx", false},
        {"?.cfg", "ab.cfg", false},   {"a?c", "abc", true},         {"*", "", true},
        {"*", ".", true},             {"[a].cfg", "[a].cfg", true}, {"[a].cfg", "a.cfg", false},
        {"a*b*c", "aXbYbZc", true},   {"a*b*c", "aXbYbZ", false},   {"\\*", "\\x", true},
        {"**", "abc", true},          {"a", "A", false},            {"*a*a*a*a*b", std::string(200, 'a'), false},
    };
    for (const auto& c : cases) EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

class PosixFiles : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir / "b.cfg", "B");
        writeFile(dir / "c.cfg", "C");
        std::filesystem::create_directory(dir / "a.cfg");
        std::filesystem::create_directory(dir / "sub");
    }
    std::string at(const std::string& name) const { return (dir / name).string(); }
    ScratchDir dir;
};

TEST_F(PosixFiles, TheFirstMatchInByteOrderMustBeAFile) {
    const std::size_t descriptors = testing_support::openDescriptorCount();
    EXPECT_FALSE(platform::firstMatchIsFile(at("*.cfg"))); // a.cfg is a directory and comes first
    EXPECT_FALSE(platform::firstMatchIsFile(at("[bc]*"))); // "[" is an ordinary character
    EXPECT_FALSE(platform::firstMatchIsFile(at("?.cfg")));
    EXPECT_TRUE(platform::firstMatchIsFile(at("b*")));
    EXPECT_TRUE(platform::firstMatchIsFile(at("c.cfg")));
    EXPECT_FALSE(platform::firstMatchIsFile(at("sub")));
    EXPECT_FALSE(platform::firstMatchIsFile(at("missing")));
    EXPECT_FALSE(platform::firstMatchIsFile(at("*"))); // "." comes first, and it is a directory
    EXPECT_FALSE(platform::firstMatchIsFile(at("b.cfg/")));
    EXPECT_FALSE(platform::firstMatchIsFile(""));
    EXPECT_FALSE(platform::firstMatchIsFile(at("s*/b.cfg"))); // wildcards only in the last component
    EXPECT_EQ(testing_support::openDescriptorCount(), descriptors) << "a directory search left open";
}

TEST_F(PosixFiles, SameFileOnlyOnTheSameFileSystem) {
    EXPECT_TRUE(platform::sameFile(at("b.cfg"), at("sub/../b.cfg")));
    // The kernel gives the roots of /proc and /sys one inode number.
    struct stat proc, sys;
    ASSERT_EQ(stat("/proc", &proc) | stat("/sys", &sys), 0);
    ASSERT_EQ(proc.st_ino, sys.st_ino);
    EXPECT_FALSE(platform::sameFile("/proc", "/sys"));
}

TEST_F(PosixFiles, ALinkTargetIsReadWholeWhateverTheBufferItMeetsFirst) {
    const std::string target(100, 't');
    ASSERT_EQ(symlink(target.c_str(), at("link").c_str()), 0);
    for (std::size_t buffer : {0, 1, 99, 100, 101, 256}) {
        EXPECT_EQ(platform::linkTarget(at("link"), buffer), target) << buffer;
    }
    EXPECT_EQ(platform::linkTarget(at("b.cfg"), 16), "");
}

TEST_F(PosixFiles, OnlyRegularFilesAreRead) {
    const platform::ReadResult file = platform::readWholeFile(at("b.cfg"));
    EXPECT_EQ(file.status, platform::ReadStatus::ok);
    EXPECT_EQ(file.bytes, "B");

    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    const std::string unreadable[] = {at("a.cfg"), at("missing"), at("fifo"), "", "/dev/null"};
    for (const auto& path : unreadable) {
        EXPECT_EQ(platform::readWholeFile(path).status, platform::ReadStatus::cannotOpen) << path;
    }
}

TEST_F(PosixFiles, AFileOverTheLargestReadableSizeIsTooLargeWithoutBeingRead) {
    const std::string sparse = at("sparse.cfg");
    writeFile(sparse, "");
    ASSERT_EQ(truncate(sparse.c_str(), (1LL << 31)), 0);
    EXPECT_EQ(platform::readWholeFile(sparse).status, platform::ReadStatus::outOfMemory);
    // The boundary, on a small limit: up to it a file is read whole.
    for (std::size_t size : {0, 99999, 100000, 100001}) {
        writeFile(at("sized.cfg"), std::string(size, 'x'));
        const platform::ReadResult read = platform::readWholeFileUpTo(at("sized.cfg"), 100000);
        EXPECT_EQ(read.status, size <= 100000 ? platform::ReadStatus::ok : platform::ReadStatus::outOfMemory) << size;
        EXPECT_EQ(read.bytes.size(), size <= 100000 ? size : 0) << size;
    }
}

TEST_F(PosixFiles, ALogCutShortIsRemovedButADeviceIsLeftAlone) {
    RunLog log;
    log.appendLine(std::string(100, 'l'));
    writeFile(dir / "log.txt", "the last run's\r\n");
    // A file system that takes only the first bytes (a full one takes none).
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit small{16, saved.rlim_max};
    const auto action = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const LogSave save = saveLog(at("log.txt"), log);
    const bool saved16 = save.written;
    std::string failure = save.failure;
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, action);
    EXPECT_FALSE(saved16);
    EXPECT_EQ(failure, "File too large");
    EXPECT_FALSE(testing_support::fs::exists(dir / "log.txt")) << "sixteen bytes of a log would pass for a whole one";

    const LogSave full = saveLog("/dev/full", log);
    failure = full.failure;
    EXPECT_FALSE(full.written);
    EXPECT_EQ(failure, "No space left on device");
    EXPECT_TRUE(testing_support::fs::exists("/dev/full"));
}

TEST_F(PosixFiles, NewFileReplacesAndFailsQuietly) {
    writeFile(dir / "log.txt", std::string(1000, 'x'));
    {
        platform::NewFile file(at("log.txt"));
        ASSERT_TRUE(file.isOpen());
        EXPECT_TRUE(file.write("ab"));
    }
    EXPECT_EQ(testing_support::readFile(dir / "log.txt"), "ab");
    EXPECT_FALSE(platform::NewFile(at("no/such/dir/log.txt")).isOpen());
    EXPECT_FALSE(platform::NewFile(at("sub")).isOpen());
    EXPECT_FALSE(platform::NewFile("").isOpen());
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(platform::NewFile(at("fifo")).isOpen()); // no reader: fails instead of waiting

    // A slow reader: the writer waits for it rather than cutting the log off.
    const int reader = open(at("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    std::optional<platform::NewFile> file(std::in_place, at("fifo"));
    fcntl(reader, F_SETFL, 0);
    std::string received, log(1 << 20, 'l');
    std::thread drain([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        char buffer[4096];
        for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;) received.append(buffer, got);
    });
    EXPECT_TRUE(file->write(log));
    file.reset(); // the log's end: the reader stops
    drain.join();
    close(reader);
    EXPECT_EQ(received.size(), log.size());
}
