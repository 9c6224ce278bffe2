#include <gtest/gtest.h>

#include <climits>

#include "config/parse_int.h"

using namespace config;

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
