#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/wildcard.h"
#include "support/program_runner.h"

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

TEST_F(PosixFiles, AFileOverTwoGibibytesIsTooLargeWithoutBeingRead) {
    const std::string sparse = at("sparse.cfg");
    writeFile(sparse, "");
    ASSERT_EQ(truncate(sparse.c_str(), (1LL << 31)), 0);
    EXPECT_EQ(platform::readWholeFile(sparse).status, platform::ReadStatus::outOfMemory);
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
}
