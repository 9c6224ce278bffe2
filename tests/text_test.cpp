#include <gtest/gtest.h>

#include <climits>

#include "config/parse_int.h"
#include "base/text.h"

TEST(TextHelpers, TrimRemovesCodesZeroToThirtyTwoAtBothEnds) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {" \t\r\n", ""},
        {std::string("\0\x01 a b \x1f\x20", 8), "a b"},
        {"\x7f" "a\x7f", "\x7f" "a\x7f"}, // DEL is not trimmed
        {"\xa0x\xa0", "\xa0x\xa0"},       // nor is a byte above 127
        {"  x", "x"},
    };
    for (const auto& c : cases) EXPECT_EQ(trimText(c.in), c.out) << '"' << c.in << '"';
}

TEST(TextHelpers, UpperAsciiTouchesOnlyLatinLetters) {
    EXPECT_EQ(upperAscii("port1=rs485-4w"), "PORT1=RS485-4W");
    EXPECT_EQ(upperAscii("\xe9\xe0{}`~"), "\xe9\xe0{}`~");
    EXPECT_EQ(upperAscii(""), "");
}

TEST(TextHelpers, SplitAtFirstKeepsLaterSeparatorsInTheSecondPart) {
    const struct {
        std::string in, first, second;
    } cases[] = {
        {"a=b", "a", "b"}, {"a=b=c", "a", "b=c"}, {"abc", "abc", ""},
        {"=x", "", "x"},   {"x=", "x", ""},       {"", "", ""},
    };
    for (const auto& c : cases) {
        const auto [first, second] = splitAtFirst(c.in, '=');
        EXPECT_EQ(first, c.first) << c.in;
        EXPECT_EQ(second, c.second) << c.in;
    }
}

TEST(TextHelpers, FormatDecimalCoversTheWholeRange) {
    EXPECT_EQ(formatDecimal(0), "0");
    EXPECT_EQ(formatDecimal(7), "7");
    EXPECT_EQ(formatDecimal(-1), "-1");
    EXPECT_EQ(formatDecimal(INT32_MAX), "2147483647");
    EXPECT_EQ(formatDecimal(INT32_MIN), "-2147483648");
}

TEST(ParseInt32, AcceptsDecimalAndHexadecimalForms) {
    const struct {
        std::string in;
        std::int32_t value;
    } cases[] = {
        {"0", 0},
        {"007", 7},
        {"+5", 5},
        {"-3", -3},
        {"   12", 12},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"$A", 10},
        {"xff", 255},
        {"X1f", 31},
        {"0x1F", 31},
        {"0XaB", 171},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$000000001", 1}, // leading zeros are not significant
        {"0", 0},
    };
    for (const auto& c : cases) {
        const auto parsed = parseInt32(c.in);
        ASSERT_TRUE(parsed.has_value()) << '"' << c.in << '"';
        EXPECT_EQ(*parsed, c.value) << '"' << c.in << '"';
    }
}

TEST(ParseInt32, RejectsEverythingElse) {
    const std::string cases[] = {
        "",           " ",          "+",          "-",           "$",         "0x",        "x",
        "2147483648", "-2147483649", "99999999999", "$100000000", "-$1",       "+0x1",      "\t1",
        "1 ",         "1 2",        "12a",        "able",        "0x1G",      "$-1",       "1.0",
        "--1",        "0b1",        "\xef\xbb\xbf" "1",
    };
    for (const auto& c : cases) EXPECT_FALSE(parseInt32(c).has_value()) << '"' << c << '"';
}
