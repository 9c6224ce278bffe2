// Hostile input through the real program: every case ends with exit status 0,
// a log that says what happened, and nothing lost.

#include <gtest/gtest.h>

#include <random>

#include "support/program_test.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

using namespace testing_support;
using HostileInput = ProgramTest;

TEST_F(HostileInput, AConfigurationOverTwoGibibytesIsTooLargeAndNeverAllocated) {
    writeFile(config(), "Port1=RS232\n");
    fs::resize_file(config(), (2ull << 30) + 1); // sparse: costs no disk
    EXPECT_EQ(runForLog(), withHeader(outOfMemoryLines(config().string())));
}

TEST_F(HostileInput, HugeLinesAndHugeLineCountsAreReadWhole) {
    const std::string fifty(50u << 20, 'v');
    writeFile(config(), "Port1=" + fifty + "\n");
    EXPECT_EQ(runForLog(), withHeader({rightHandMessage(fifty, 1)}));

    // Ten million lines, the last one the only one that says anything.
    std::string manyLines(9999999, '\n');
    manyLines += "Port1=bad";
    writeFile(config(), manyLines);
    EXPECT_EQ(runForLog(), withHeader({rightHandMessage("bad", 10000000)}));
}

TEST_F(HostileInput, EveryByteValueReachesTheLogUnchanged) {
    std::string text;
    Lines expected;
    std::size_t line = 0;
    for (int b = 1; b < 256; ++b) {
        if (b == '\r' || b == '\n') continue; // they end lines
        const std::string value = std::string("A") + static_cast<char>(b) + "B";
        text += "Port1=" + value + "\n";
        expected.push_back(rightHandMessage(value, ++line));
    }
    // A NUL byte ends the text: nothing after it counts.
    text += std::string("Port1=A\0B\nPort2=nothing\n", 24);
    expected.push_back(rightHandMessage("A", ++line));
    writeFile(config(), text);
    EXPECT_EQ(runForLog(), withHeader(expected));
}

TEST_F(HostileInput, AHugeOrOverlongParameterIsSafe) {
    writeFile(config(), "Port1=RS232\n");
#ifdef _WIN32
    const std::size_t longest = 30000; // a command line holds at most 32767 characters
    const std::size_t count = 30;
#else
    const std::size_t longest = 131000; // the kernel takes at most 131071 bytes in one argument
    const std::size_t count = 1000;
#endif
    const std::string huge(longest, 'h');
    // As a file name and as a log path: neither can exist, both are ignored or fail quietly.
    EXPECT_EQ(runForLog({huge}), withHeader({portNotFound(1)}));
    fs::remove(log());
    EXPECT_EQ(runForLog({"/LOG=" + huge}), Lines{});
    EXPECT_FALSE(fs::exists(log()));

    // As many kilobyte parameters as the platform takes: a megabyte in all on POSIX.
    std::vector<std::string> many(count, std::string(1000, 'p'));
    EXPECT_EQ(runForLog(many), withHeader({portNotFound(1)}));
}

TEST_F(HostileInput, PortNamesOfEveryLengthAndGarbageLocations) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> small(-3, 12);
    std::uniform_int_distribution<int> coin(0, 3);
    std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
    std::string ports;
    std::string configuration;
    std::vector<std::int32_t> entries;
    for (int number = -3; number <= 12; ++number) {
        configuration += "Port" + std::to_string(number) + "=RS485\n";
        entries.push_back(number);
    }
    std::vector<bool> taken(entries.size(), false);
    Lines expectedPorts;
    for (int length = 0; length <= 256; ++length) {
        const bool fails = coin(random) == 0;
        const std::int32_t qualifier = coin(random) == 0 ? any(random) : 0;
        const std::int32_t number = coin(random) == 0 ? any(random) : small(random);
        ports += "name=L namelength=" + std::to_string(length) + " number=" + std::to_string(number) +
                 " qualifier=" + std::to_string(qualifier) + (fails ? " location=fail" : "") + "\n";
        if (fails || qualifier != 0) continue;
        bool found = false;
        for (std::size_t e = 0; e < entries.size() && !found; ++e) {
            if (!taken[e] && entries[e] == number) taken[e] = found = true;
        }
        if (!found) expectedPorts.push_back(portWithoutMode(number));
    }
    for (std::size_t e = 0; e < entries.size(); ++e) {
        if (!taken[e]) expectedPorts.push_back(portNotFound(entries[e]));
    }
    writeFile(config(), configuration);
    EXPECT_EQ(runForLog({}, ports), withHeader(expectedPorts));
}

#ifndef _WIN32
// Devices and a folder the program may not write to are POSIX cases here; the
// Windows suite covers files held open by other programs instead.
TEST_F(HostileInput, DevicesAsConfigurationAreUnreadable) {
    for (const std::string device : {"/dev/zero", "/dev/null", "/dev/urandom"}) {
        EXPECT_EQ(runForLog({device}), withHeader(openFailureLines(device))) << device;
    }
}

TEST_F(HostileInput, ALogFolderWithoutWritePermissionChangesNothing) {
    writeFile(config(), "Port1=RS232\n");
    writeFile(log(), "previous log");
    if (getuid() == 0) {
        // Root writes anywhere: run the program as an ordinary user instead.
        const passwd* nobody = getpwnam("nobody");
        if (!nobody) GTEST_SKIP() << "no user 'nobody' to run as";
        fs::permissions(scratch.path(), fs::perms::all, fs::perm_options::add);
        const std::string command = "setpriv --reuid=" + std::to_string(nobody->pw_uid) +
                                    " --regid=" + std::to_string(nobody->pw_gid) + " --clear-groups " +
                                    program.string();
        ASSERT_EQ(std::system(command.c_str()), 0);
    } else {
        fs::permissions(bin(), fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_EQ(run().exitStatus, 0);
        fs::permissions(bin(), fs::perms::owner_write, fs::perm_options::add);
    }
    EXPECT_EQ(readFile(log()), "previous log");
}
#endif
