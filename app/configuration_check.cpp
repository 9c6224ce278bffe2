#include "app/configuration_check.h"

#include <algorithm>

#include "base/run_log.h"
#include "base/text.h"
#include "config/configuration.h"

std::optional<ConfigurationCheck> configurationCheckAskedFor(const std::vector<std::string>& parameters,
                                                             const std::string& defaultPath) {
    const auto asked = std::find(parameters.begin(), parameters.end(), "--check");
    if (asked == parameters.end()) return std::nullopt;
    const std::string path = asked + 1 != parameters.end() ? *(asked + 1) : defaultPath;
    RunLog log;
    ModeTable table;
    const bool read = loadConfiguration(path, log, table);
    ConfigurationCheck check;
    // The log's own lines, ended for a terminal.
    check.text = lfLines(log.text());
    check.status = !read ? 2 : check.text.empty() ? 0 : 1;
    return check;
}
