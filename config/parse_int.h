#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace config {

// The port-number syntax: leading blanks (code 32 only), then either a signed
// decimal number in the 32-bit range, or one of the prefixes "$", "x", "X",
// "0x", "0X" and up to 32 bits of hexadecimal digits, read as a signed
// pattern. Anything else is invalid.
std::optional<std::int32_t> parseInt32(std::string_view text);

} // namespace config
