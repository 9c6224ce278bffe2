#include <gtest/gtest.h>

#include <climits>

#include "base/text.h"

using namespace base;

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
