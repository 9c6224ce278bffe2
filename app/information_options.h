#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

// Who answers "--help": the program itself (where the platform gives it a
// console, and so the Linux skarvelconfig command) or its console companion on
// Windows (SkarvelConfig.com), which runs it and lists the ports besides.
enum class HelpFor { program, companion };

// "--help" and "--version": the text to print instead of running, or nothing
// when neither is asked for (the first of them among the parameters counts).
std::optional<std::string> informationAskedFor(const std::vector<std::string>& parameters, HelpFor helpFor);

} // namespace app
