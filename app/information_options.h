#pragma once

#include <optional>
#include <string>
#include <vector>

// "--help" and "--version", where the platform has a console to answer on:
// the text to print instead of running, or nothing when neither is asked for
// (the first of them among the parameters counts).
std::optional<std::string> informationAskedFor(const std::vector<std::string>& parameters);
