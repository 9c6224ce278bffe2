#include "app/options_asked.h"

#include <algorithm>

#include "base/run_log.h"
#include "base/text.h"
#include "config/configuration.h"

namespace app {

std::optional<std::string> optionFile(const std::vector<std::string>& parameters, std::string_view option,
                                      const std::string& defaultPath) {
    const auto asked = std::find(parameters.begin(), parameters.end(), option);
    if (asked == parameters.end()) return std::nullopt;
    return asked + 1 != parameters.end() ? *(asked + 1) : defaultPath;
}

std::optional<Answer> answerInstead(const std::vector<std::string>& parameters, HelpFor helpFor,
                                    const std::string& defaultConfig) {
    if (auto text = informationAskedFor(parameters, helpFor)) return Answer{std::move(*text), 0};
    const std::optional<std::string> path = optionFile(parameters, "--check", defaultConfig);
    if (!path) return std::nullopt;
    base::RunLog log;
    const bool read = config::loadConfiguration(*path, log).has_value();
    Answer check{base::lfLines(log.text()), 0};
    check.status = !read ? 2 : check.text.empty() ? 0 : 1;
    return check;
}

} // namespace app
