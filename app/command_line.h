#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Longest parameter collected outside quotes; the characters that follow begin
// the next parameter.
inline constexpr std::size_t maxParameterLength = 4096;

// Splits raw command-line text into its parameters, the program's name first.
// Blanks and control characters separate, double quotes group and are never
// part of a parameter, a pair of quotes standing alone yields nothing, and a
// backslash is an ordinary character. A quoted run is never cut short, so a
// quoted parameter may exceed maxParameterLength.
std::vector<std::string> splitCommandLine(std::string_view raw);

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
