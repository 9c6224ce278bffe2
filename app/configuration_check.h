#pragma once

#include <optional>
#include <string>
#include <vector>

// "--check [FILE]", where the platform has a console to answer on: the
// configuration (FILE, or `defaultPath`) judged by the program's own reader,
// touching no port and writing no log.
struct ConfigurationCheck {
    std::string text; // the lines the log would hold for it, LF-terminated
    int status = 0;   // 0 every line usable, 1 some not, 2 the file unreadable
};

// The check's result, or nothing when it is not asked for.
std::optional<ConfigurationCheck> configurationCheckAskedFor(const std::vector<std::string>& parameters,
                                                             const std::string& defaultPath);
