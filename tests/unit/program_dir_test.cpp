#include <gtest/gtest.h>

#include "platform/program_dir.h"

using namespace platform;

namespace {

bool noLeadBytes(unsigned char) { return false; }

bool shiftJisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

} // namespace

TEST(ProgramDir, WindowsPathsEndAtTheLastBackslashOrColon) {
    const struct {
        std::string path, dir;
    } cases[] = {
        {"C:\\Tools\\SkarvelConfig.exe", "C:\\Tools\\"},
        {"C:SkarvelConfig.exe", "C:\\"},
        {"SkarvelConfig.exe", "\\"},
        {"", "\\"},
        {"\\\\server\\share\\p.exe", "\\\\server\\share\\"},
        {"C:\\a:b\\c", "C:\\a:b\\"},
        {"C:\\dir\\", "C:\\dir\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(windowsProgramDir(c.path, noLeadBytes), c.dir) << c.path;
}

TEST(ProgramDir, ABackslashInsideADoubleByteCharacterIsNoDelimiter) {
    // 0x95 0x5C is one Shift-JIS character whose second byte looks like a backslash.
    const std::string dir = "C:\\\x95\x5C\\";
    EXPECT_EQ(windowsProgramDir(dir + "p.exe", shiftJisLeadByte), dir);
    EXPECT_EQ(windowsProgramDir("C:\\\x95\x5Cp.exe", shiftJisLeadByte), "C:\\");
    // Without the lead-byte test the same bytes would be cut inside the character.
    EXPECT_EQ(windowsProgramDir("C:\\\x95\x5Cp.exe", noLeadBytes), "C:\\\x95\x5C");
    // A lead byte at the very end has no trail byte to swallow.
    EXPECT_EQ(windowsProgramDir("C:\\x\x95", shiftJisLeadByte), "C:\\");
}

TEST(ProgramDir, PosixPathsEndAtTheLastSlash) {
    EXPECT_EQ(posixProgramDir("/usr/lib/skarvelconfig/SkarvelConfig"), "/usr/lib/skarvelconfig/");
    EXPECT_EQ(posixProgramDir("/SkarvelConfig"), "/");
    EXPECT_EQ(posixProgramDir("SkarvelConfig"), "./");
    EXPECT_EQ(posixProgramDir(""), "./");
}
