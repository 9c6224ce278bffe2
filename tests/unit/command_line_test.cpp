#include <gtest/gtest.h>

#include <set>

#include "app/command_line.h"
#include "app/information_options.h"
#include "app/run_sequence.h"
#include "platform/command_line_split.h"

using namespace app;
using namespace base;
using namespace platform;

using Parameters = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheQuotingRules) {
    const struct {
        std::string raw;
        Parameters expected;
    } cases[] = {
        {"", {}},
        {"prog", {"prog"}},
        {"prog a\"\"b", {"prog", "ab"}},
        {"prog \\\"a b\\\"", {"prog", "\\a b\\"}},
        {"prog \"\" x.cfg", {"prog", "x.cfg"}},
        {"prog one\ttwo", {"prog", "one", "two"}},
        {"prog /LOG=\"C:\\Log Files\\run.log\"", {"prog", "/LOG=C:\\Log Files\\run.log"}},
        {"\"C:\\Program Files\\p.exe\" a", {"C:\\Program Files\\p.exe", "a"}},
        {"prog \"a b", {"prog", "a b"}},          // an unclosed quote runs to the end
        {"prog \"", {"prog"}},                     // an unclosed quote with nothing in it
        {"prog \"\"\"\"", {"prog"}},               // pairs of quotes yield nothing
        {"prog \"\"\"a b\"", {"prog", "a b"}},     // a pair, then a quoted run
        {"prog a\"b c\"d e", {"prog", "ab cd", "e"}},
        {"prog \"\" \"\"", {"prog"}},
        {"  \x01 prog\x1f" "a  ", {"prog", "a"}},  // codes 1-32 separate
        {"prog \xe9t\xe9", {"prog", "\xe9t\xe9"}}, // bytes above 127 are ordinary
        {"prog !a b!", {"prog", "!a", "b!"}},      // code 33 is the first ordinary one
        {std::string("prog a\0b", 8), {"prog", "a"}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitCommandLine(c.raw), c.expected) << c.raw;
}

TEST(SplitCommandLine, CutsUnquotedParametersAt4096Characters) {
    const std::string exact(4096, 'a');
    EXPECT_EQ(splitCommandLine("p " + exact), (Parameters{"p", exact}));

    const std::string over = std::string(4096, 'a') + "bc";
    EXPECT_EQ(splitCommandLine("p " + over), (Parameters{"p", exact, "bc"}));

    const std::string twice(4096 * 2 + 1, 'z');
    EXPECT_EQ(splitCommandLine("p " + twice), (Parameters{"p", std::string(4096, 'z'), std::string(4096, 'z'), "z"}));
}

TEST(SplitCommandLine, KeepsAQuotedRunWholePast4096Characters) {
    const std::string inside(5000, 'q');
    EXPECT_EQ(splitCommandLine("p \"" + inside + "\""), (Parameters{"p", inside}));
    // After the quoted run the parameter is full and ends; the rest starts anew.
    EXPECT_EQ(splitCommandLine("p \"" + inside + "\"tail"), (Parameters{"p", inside, "tail"}));
    // A quote that starts past the limit begins the next parameter.
    const std::string full(4096, 'f');
    EXPECT_EQ(splitCommandLine("p " + full + "\"x y\""), (Parameters{"p", full, "x y"}));

    const std::string huge(1 << 20, 'h');
    const Parameters split = splitCommandLine("p \"" + huge + "\"");
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[1].size(), huge.size());
}

// What the console companion puts after the program's quoted path.
TEST(SplitCommandLine, TheTailAfterAnotherNameGivesTheSameParameters) {
    const std::string longName(5000, 'n');
    const struct {
        std::string raw;
        std::string tail;
    } cases[] = {
        {"", ""},
        {"prog", ""},
        {"prog a \"b c\"", " a \"b c\""},
        {"\"C:\\Program Files\\S.com\"\t/LOG=x", "\t/LOG=x"},
        {"\"\" prog x", " x"},
        {longName + " x", " " + std::string(5000 - 4096, 'n') + " x"}, // the rest of a name cut short
        {"\"" + longName + "\"rest x", " rest x"},
    };
    for (const auto& c : cases) {
        const std::string shown = c.raw.substr(0, 40);
        EXPECT_EQ(commandLineTail(c.raw), c.tail) << shown;
        Parameters own = splitCommandLine(c.raw);
        if (!own.empty()) own.erase(own.begin());
        Parameters passed = splitCommandLine("\"C:\\p\\SkarvelConfig.exe\"" + commandLineTail(c.raw));
        ASSERT_FALSE(passed.empty());
        passed.erase(passed.begin());
        EXPECT_EQ(passed, own) << shown;
    }
}

namespace {

struct OptionCase {
    Parameters parameters;
    std::string configPath;
    std::string logPath;
};

RunPaths apply(const Parameters& parameters, bool slashMayStartPath) {
    // "/log=run.txt" names a file too: an option is never also a configuration.
    const std::set<std::string> files{"a.cfg", "b.cfg", "*.cfg", "/abs/x.cfg", "/LOGFILE=x.txt", "/log=run.txt"};
    RunPaths paths{"default.cfg", "default.log"};
    applyOptions(parameters, OptionRules{[&](const std::string& p) { return files.count(p) > 0; }, slashMayStartPath},
                 paths);
    return paths;
}

} // namespace

TEST(ApplyOptions, LaterParametersOverrideAndUnusableOnesAreIgnored) {
    const OptionCase cases[] = {
        {{}, "default.cfg", "default.log"},
        {{"/log=run.txt"}, "default.cfg", "run.txt"},
        {{"/LOG="}, "default.cfg", ""},
        {{"/LoG=x", "/LOG=y"}, "default.cfg", "y"},
        {{"missing.cfg"}, "default.cfg", "default.log"},
        {{"a.cfg", "b.cfg"}, "b.cfg", "default.log"},
        {{"a.cfg", "missing.cfg"}, "a.cfg", "default.log"},
        {{"*.cfg"}, "*.cfg", "default.log"},
        {{"b.cfg", "/LOG=l", "a.cfg"}, "a.cfg", "l"},
        {{"/LO"}, "default.cfg", "default.log"},
        {{""}, "default.cfg", "default.log"},
    };
    for (bool slash : {false, true}) {
        for (const auto& c : cases) {
            const RunPaths paths = apply(c.parameters, slash);
            EXPECT_EQ(paths.configPath, c.configPath) << ::testing::PrintToString(c.parameters);
            EXPECT_EQ(paths.logPath, c.logPath) << ::testing::PrintToString(c.parameters);
        }
    }
}

TEST(ApplyOptions, ASlashStartsAPathOnlyWhereThePlatformSaysSo) {
    EXPECT_EQ(apply({"/abs/x.cfg"}, true).configPath, "/abs/x.cfg");
    EXPECT_EQ(apply({"/abs/x.cfg"}, false).configPath, "default.cfg");
    // Not an option, and a file of that name exists: only a POSIX path can name it.
    EXPECT_EQ(apply({"/LOGFILE=x.txt"}, true).configPath, "/LOGFILE=x.txt");
    EXPECT_EQ(apply({"/LOGFILE=x.txt"}, true).logPath, "default.log");
    EXPECT_EQ(apply({"/LOGFILE=x.txt"}, false).configPath, "default.cfg");
}

// The program and its companion answer from one text: what the job does,
// "--check", "--help" and "--version" alike; each its own way of running.
TEST(InformationOptions, TheProgramAndTheCompanionShareTheirHelp) {
    const auto program = informationAskedFor({"x.cfg", "--help", "--version"}, HelpFor::program);
    const auto companion = informationAskedFor({"--help"}, HelpFor::companion);
    ASSERT_TRUE(program && companion);
    for (const char* shared : {"Usage: SkarvelConfig [CONFIGURATION-FILE] [/LOG=LOG-FILE]\nSets the line mode",
                               "beside the program; /LOG= alone writes no log.\n", "  --check [FILE]  check",
                               "  --help          show this text and exit\n  --version       show the version and exit\n"}) {
        EXPECT_NE(program->find(shared), std::string::npos) << shared;
        EXPECT_NE(companion->find(shared), std::string::npos) << shared;
    }
    EXPECT_EQ(program->find("--list"), std::string::npos);
    EXPECT_NE(companion->find("  --list [FILE]   list the ports"), std::string::npos);
    EXPECT_NE(program->find("run skarvelconfig"), std::string::npos);
    EXPECT_NE(companion->find("Exit status: 0 the run was clean"), std::string::npos);
    EXPECT_EQ(informationAskedFor({"--version", "--help"}, HelpFor::companion), std::string(programBanner) + "\n");
    EXPECT_FALSE(informationAskedFor({"-help", "/?"}, HelpFor::program));
}
