#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration.h"
#include "support/expected_log.h"

using namespace testing_support;
using namespace base;
using namespace config;
using namespace ports;

namespace {

struct Parsed {
    ModeTable table;
    Lines messages;
};

Parsed parse(const std::string& text) {
    RunLog log;
    Parsed parsed;
    parsed.table = parseConfiguration(text, log).table;
    parsed.messages = splitLines(log.text());
    return parsed;
}

constexpr auto leftHand = &leftHandMessage;
constexpr auto rightHand = &rightHandMessage;

bool sameEntries(const ModeTable& table, const std::vector<std::pair<std::int32_t, std::int32_t>>& expected) {
    if (table.size() != expected.size()) return false;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].portNumber != expected[i].first || table[i].modeCode != expected[i].second) return false;
    }
    return true;
}

} // namespace

TEST(ConfigurationLine, EachLineYieldsAnEntryOrOneMessage) {
    // Every line stands on line 4, after three lines that yield nothing.
    const struct {
        std::string line;
        std::vector<std::pair<std::int32_t, std::int32_t>> entries;
        std::string message;
    } cases[] = {
        {"Port1", {}, rightHand("", 4)},
        {"=RS232", {}, leftHand("", 4)},
        {"port 7 = rs485-2w", {{7, 15}}, ""},
        {"Port$A=RS232", {{10, 0}}, ""},
        {"Port0x1F=RS422", {{31, 1}}, ""},
        {"Port-3=RS232", {{-3, 0}}, ""},
        {"Portable=RS232", {}, leftHand("Portable", 4)},
        {"Port=RS232", {}, leftHand("Port", 4)},
        {"Port2147483648=RS232", {}, leftHand("Port2147483648", 4)},
        {"Port-2147483648=RS232", {{INT32_MIN, 0}}, ""},
        {"Port1=RS232 ; main", {}, rightHand("RS232 ; main", 4)},
        {"Port1=RS 232", {}, rightHand("RS 232", 4)},
        {"Port1=rs485", {{1, 15}}, ""},
        {"Port1=RS485-4w", {{1, 11}}, ""},
        {"PORT1=Rs422", {{1, 1}}, ""},
        {"Port\t2=RS232", {}, leftHand("Port\t2", 4)},
        {"Por=RS232", {}, leftHand("Por", 4)},
        {"Port1=RS485=2W", {}, rightHand("RS485=2W", 4)},
        {"  Port 1  =  RS232  ", {{1, 0}}, ""},
        {"bad=worse", {}, leftHand("bad", 4)}, // both sides wrong: only the left-hand message
        {"Port1=rs485-3w", {}, rightHand("rs485-3w", 4)},
        {"Port1=\xd2\xd3", {}, rightHand("\xd2\xd3", 4)},
        {"[Section", {}, ""},
        {"; Port1=RS232", {}, ""},
        {"  \t ", {}, ""},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse("[Ports]\r\n; header\r\n\r\n" + c.line + "\r\n");
        EXPECT_TRUE(sameEntries(parsed.table, c.entries)) << c.line;
        const Lines expected = c.message.empty() ? Lines{} : Lines{c.message};
        EXPECT_EQ(parsed.messages, expected) << c.line;
    }
}

TEST(ConfigurationText, LineEndsAndNulDecideTheLineNumbers) {
    const struct {
        std::string text;
        Lines messages;
    } cases[] = {
        {"", {}},
        {"a", {leftHand("a", 1)}},
        {"a\r\n", {leftHand("a", 1)}},
        {"a\rb\rc", {leftHand("a", 1), leftHand("b", 2), leftHand("c", 3)}},
        {"a\nb\n", {leftHand("a", 1), leftHand("b", 2)}},
        {"a\r\nb\r\n", {leftHand("a", 1), leftHand("b", 2)}},
        {"a\n\rb", {leftHand("a", 1), leftHand("b", 3)}}, // LF CR is two line ends
        {"a\r\r\nb", {leftHand("a", 1), leftHand("b", 3)}},
        {std::string("a\nb\0c\nd", 7), {leftHand("a", 1), leftHand("b", 2)}},
        {std::string("\0a", 2), {}},
        {"\xef\xbb\xbfPort1=RS232\nPort2=RS232", {leftHand("\xef\xbb\xbfPort1", 1)}},
        // UTF-16 LE with a byte-order mark: only the bytes before the first zero.
        {std::string("\xff\xfeP\0o\0r\0t\0", 10), {leftHand("\xff\xfeP", 1)}},
    };
    for (const auto& c : cases) EXPECT_EQ(parse(c.text).messages, c.messages) << c.text;
}

TEST(ConfigurationText, EntriesKeepFileOrderAndDuplicates) {
    const Parsed parsed = parse("[Ports]\nPort3=RS232\nport1 = rs485-2w\nPort3=RS422\nPort 2=RS485-4W\n");
    EXPECT_TRUE(sameEntries(parsed.table, {{3, 0}, {1, 15}, {3, 1}, {2, 11}}));
    EXPECT_TRUE(parsed.messages.empty());
}

TEST(ConfigurationText, LongAndManyLinesAreHandledWhole) {
    const std::string longName(100000, 'Q');
    EXPECT_EQ(parse(longName + "=RS232\n").messages, Lines{leftHand(longName, 1)});

    std::string many;
    for (int i = 0; i < 100000; ++i) many += "Port" + std::to_string(i) + "=RS485\n";
    const Parsed parsed = parse(many);
    ASSERT_EQ(parsed.table.size(), 100000u);
    EXPECT_EQ(parsed.table.back().portNumber, 99999);
    EXPECT_TRUE(parsed.messages.empty());
}

TEST(ConfigurationLoad, FailureLinesNameThePathAndTheKind) {
    RunLog cannotOpen;
    appendLoadFailure(cannotOpen, "C:\\x\\a b.cfg", platform::ReadStatus::cannotOpen);
    EXPECT_EQ(cannotOpen.text(), textOf(openFailureLines("C:\\x\\a b.cfg")));
    RunLog outOfMemory;
    appendLoadFailure(outOfMemory, "big.cfg", platform::ReadStatus::outOfMemory);
    EXPECT_EQ(outOfMemory.text(), textOf(outOfMemoryLines("big.cfg")));
}
