#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/information_options.h"

namespace app {

// What is printed instead of a run, and the exit status that goes with it.
struct Answer {
    std::string text;
    int status = 0;
};

// The file named after `option` ("--check", "--list"), or `defaultPath` when
// none follows it; nothing when the option is not among the parameters.
std::optional<std::string> optionFile(const std::vector<std::string>& parameters, std::string_view option,
                                      const std::string& defaultPath);

// What the parameters ask for instead of a run, answered before any port is
// touched: "--help" or "--version" (the first of them counts), else
// "--check [FILE]": the configuration (FILE, or `defaultConfig`) judged by the
// program's own reader, writing no log: the lines the log would hold for it,
// ended for a terminal, and 0 when every line is usable, 1 when some are not,
// 2 when the file cannot be read. Nothing when they ask for none of these.
std::optional<Answer> answerInstead(const std::vector<std::string>& parameters, HelpFor helpFor,
                                    const std::string& defaultConfig);

} // namespace app
