#include <gtest/gtest.h>

#include "base/run_log.h"

using namespace base;

TEST(RunLog, EveryLineEndsInCrLfAndKeepsItsBytes) {
    RunLog log;
    EXPECT_EQ(log.text(), "");
    log.appendLine("A line");
    log.appendLine("");
    log.appendLine("\xe9\x80\xff");
    EXPECT_EQ(log.lineCount(), 3u);
    EXPECT_EQ(log.text(), "A line\r\n\r\n\xe9\x80\xff\r\n");
}

TEST(RunLog, TimestampPadsAllButYearAndHour) {
    const struct {
        platform::LocalDateTime moment;
        std::string text;
    } cases[] = {
        {{2024, 3, 7, 9, 5, 2}, "2024:03:07::9:05:02"},
        {{2024, 12, 31, 23, 59, 59}, "2024:12:31::23:59:59"},
        {{2026, 1, 1, 0, 0, 0}, "2026:01:01::0:00:00"},
        {{10000, 10, 10, 10, 10, 10}, "10000:10:10::10:10:10"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatTimestamp(c.moment), c.text);
}
