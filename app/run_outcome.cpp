#include "app/run_outcome.h"

#include <algorithm>

#include "config/configuration.h"
#include "ports/port_stage.h"

namespace app {

namespace {

constexpr std::size_t headerLines = 2;

} // namespace

std::vector<LinePriority> linePriorities(std::string_view logText) {
    std::vector<LinePriority> priorities;
    bool loadFailed = false;
    while (!logText.empty()) {
        const std::size_t end = logText.find("\r\n");
        const std::string_view line = logText.substr(0, end);
        logText.remove_prefix(end == std::string_view::npos ? logText.size() : end + 2);
        // A configuration that cannot be read is said right after the header.
        if (priorities.size() == headerLines) loadFailed = config::opensLoadFailure(line);
        priorities.push_back(priorities.size() < headerLines        ? LinePriority::info
                             : loadFailed                           ? LinePriority::error
                             : ports::reportsPortWithoutMode(line) ? LinePriority::notice
                                                                    : LinePriority::warning);
    }
    return priorities;
}

RunOutcome outcomeOfLog(std::string_view logText) {
    const std::vector<LinePriority> priorities = linePriorities(logText);
    const auto says = [&](LinePriority priority) {
        return std::find(priorities.begin(), priorities.end(), priority) != priorities.end();
    };
    return says(LinePriority::error)     ? RunOutcome::notDone
           : says(LinePriority::warning) ? RunOutcome::problems
                                         : RunOutcome::clean;
}

int exitStatusOf(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::clean: return 0;
    case RunOutcome::problems: return 1;
    case RunOutcome::notDone: break;
    }
    return 2;
}

platform::RunEvent eventOf(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::clean: return platform::RunEvent::clean;
    case RunOutcome::problems: return platform::RunEvent::problems;
    case RunOutcome::notDone: break;
    }
    return platform::RunEvent::notDone;
}

} // namespace app
