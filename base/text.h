#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace base {

// Text is 8-bit and handled byte by byte: no locale, no character-set conversion.

// Removes every byte with code 0 to 32 from both ends.
std::string_view trimText(std::string_view text);

// Maps 'a'..'z' to 'A'..'Z' and leaves every other byte as it is.
std::string upperAscii(std::string_view text);

// Whether upperAscii(text) == upper, without building the upper-cased copy.
bool upperAsciiEquals(std::string_view text, std::string_view upper);

// The part before the first `ch` and the part after it; without `ch` the whole
// text is the first part and the second is empty.
std::pair<std::string_view, std::string_view> splitAtFirst(std::string_view text, char ch);

std::string formatDecimal(std::int32_t value);

// The text with each CR LF made LF: log lines as a terminal shows them.
std::string lfLines(std::string_view crlfText);

} // namespace base
