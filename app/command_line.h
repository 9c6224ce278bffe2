#pragma once

#include <functional>
#include <string>
#include <vector>

namespace app {

struct RunPaths {
    std::string configPath;
    std::string logPath;
};

struct OptionRules {
    // Tells whether a search for the parameter finds a file as its first match.
    std::function<bool(const std::string&)> firstMatchIsFile;
    // Where absolute paths begin with "/", a parameter that begins with "/" but
    // is not "/LOG=" may still name the configuration file.
    bool slashMayStartPath = false;
};

// Applies the parameters (the program's name not among them) in order; later
// ones override earlier ones, unusable ones are ignored without a word.
void applyOptions(const std::vector<std::string>& parameters, const OptionRules& rules, RunPaths& paths);

} // namespace app
