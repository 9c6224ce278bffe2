#include "app/run_outcome.h"

#include <algorithm>

#include "config/configuration.h"
#include "ports/port_stage.h"

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
        if (priorities.size() == headerLines) loadFailed = opensLoadFailure(line);
        priorities.push_back(priorities.size() < headerLines  ? LinePriority::info
                             : loadFailed                     ? LinePriority::error
                             : reportsPortWithoutMode(line)   ? LinePriority::notice
                                                              : LinePriority::warning);
    }
    return priorities;
}

platform::RunOutcome outcomeOfLog(std::string_view logText) {
    const std::vector<LinePriority> priorities = linePriorities(logText);
    const auto says = [&](LinePriority priority) {
        return std::find(priorities.begin(), priorities.end(), priority) != priorities.end();
    };
    return says(LinePriority::error)     ? platform::RunOutcome::notDone
           : says(LinePriority::warning) ? platform::RunOutcome::problems
                                         : platform::RunOutcome::clean;
}

int exitStatusOf(platform::RunOutcome outcome) {
    switch (outcome) {
    case platform::RunOutcome::clean: return 0;
    case platform::RunOutcome::problems: return 1;
    case platform::RunOutcome::notDone: break;
    }
    return 2;
}
