#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Longest parameter collected outside quotes; the characters that follow begin
// the next parameter.
inline constexpr std::size_t maxParameterLength = 4096;

// Splits raw command-line text into its parameters, the program's name first.
// Blanks and control characters separate, double quotes group and are never
// part of a parameter, a pair of quotes standing alone yields nothing, and a
// backslash is an ordinary character. A quoted run is never cut short, so a
// quoted parameter may exceed maxParameterLength.
std::vector<std::string> splitCommandLine(std::string_view raw);

// The text after the program's name, as written: what follows another
// program's name (quoted) on a command line that splits into every parameter
// of `raw` but the first. Where that name was cut at maxParameterLength, the
// rest of it begins the next parameter, so a blank goes before it.
std::string commandLineTail(std::string_view raw);

} // namespace platform
