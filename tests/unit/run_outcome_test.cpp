#include <gtest/gtest.h>

#include "app/run_outcome.h"
#include "platform/event_text.h"
#include "support/expected_log.h"

using namespace testing_support;
using namespace app;
using namespace platform;

namespace {

constexpr LinePriority info = LinePriority::info;
constexpr LinePriority notice = LinePriority::notice;
constexpr LinePriority warning = LinePriority::warning;
constexpr LinePriority error = LinePriority::error;

} // namespace

TEST(RunOutcome, IsJudgedFromTheLogsLinesAndSaysItsPriorities) {
    const struct {
        const char* name;
        Lines body;
        std::vector<LinePriority> priorities; // the body's
        RunOutcome outcome;
        int status;
    } cases[] = {
        {"the header alone", {}, {}, RunOutcome::clean, 0},
        {"ports the configuration leaves alone", {portWithoutMode(0), portWithoutMode(-2147483648)},
         {notice, notice}, RunOutcome::clean, 0},
        {"a port not found", {portWithoutMode(1), portNotFound(9)}, {notice, warning}, RunOutcome::problems, 1},
        {"a refused mode", {portNotSet(3)}, {warning}, RunOutcome::problems, 1},
        {"an unusable line", {leftHandMessage("bad", 2), rightHandMessage("RS486", 3)}, {warning, warning},
         RunOutcome::problems, 1},
        {"a line that names a port without a mode is still a problem", {leftHandMessage("Port 1 found", 1)},
         {warning}, RunOutcome::problems, 1},
        {"the configuration cannot be read", openFailureLines("/etc/x.cfg"), {error, error, error},
         RunOutcome::notDone, 2},
        {"nor held in memory", outOfMemoryLines("x.cfg"), {error, error, error}, RunOutcome::notDone, 2},
    };
    for (const auto& c : cases) {
        const std::string log = textOf(withHeader(c.body));
        std::vector<LinePriority> expected{info, info};
        expected.insert(expected.end(), c.priorities.begin(), c.priorities.end());
        EXPECT_EQ(linePriorities(log), expected) << c.name;
        EXPECT_EQ(outcomeOfLog(log), c.outcome) << c.name;
        EXPECT_EQ(exitStatusOf(c.outcome), c.status) << c.name;
    }
}

TEST(RunOutcome, OnlyTheExactLineOfAPortWithoutAModeIsANotice) {
    for (const char* line : {"Port  found with no mode assigned.", "Port x found with no mode assigned.",
                             "Port 1 found with no mode assigned", "Port -1- found with no mode assigned.",
                             "Port 12345678901 found with no mode assigned.", "port 1 found with no mode assigned."}) {
        EXPECT_EQ(linePriorities(textOf(withHeader({line}))).back(), warning) << line;
    }
    // "Error loading" counts only where a failed load puts it: right after the header.
    EXPECT_EQ(outcomeOfLog(textOf(withHeader({portNotSet(1), openFailureLines("x.cfg")[0]}))), RunOutcome::problems);
}

// A long log's event keeps 31,000 characters and says that more followed.
TEST(RunOutcome, TheEventCarriesTheLogUpToWhatOneInsertionStringHolds) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{30999}, std::size_t{31000}, std::size_t{31001},
                                   std::size_t{200000}}) {
        std::string log(size, 'x');
        if (size > 0) log.back() = 'z';
        const std::string text = eventTextOf(log);
        if (size <= 31000) {
            EXPECT_EQ(text, log) << size;
        } else {
            EXPECT_EQ(text, log.substr(0, 31000) + "...\r\n") << size;
        }
    }
}
