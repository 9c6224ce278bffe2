// parseInt32 against a reference built another way: patterns and text compares.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>

#include "config/parse_int.h"

using namespace config;

namespace {

std::string withoutLeadingZeros(const std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

// Whether decimal digits (no leading zeros) stay at or below `limit`.
bool atMost(const std::string& digits, const std::string& limit) {
    return digits.size() < limit.size() || (digits.size() == limit.size() && digits <= limit);
}

std::optional<std::int32_t> reference(const std::string& text) {
    static const std::regex decimal("^ *([+-]?)([0-9]+)$");
    static const std::regex hexadecimal("^ *(\\$|x|X|0x|0X)([0-9A-Fa-f]+)$");
    std::smatch m;
    if (std::regex_match(text, m, hexadecimal)) {
        const std::string digits = withoutLeadingZeros(m[2]);
        if (digits.size() > 8) return std::nullopt;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::stoull(digits, nullptr, 16)));
    }
    if (std::regex_match(text, m, decimal)) {
        const bool negative = m[1] == "-";
        const std::string digits = withoutLeadingZeros(m[2]);
        if (!atMost(digits, negative ? "2147483648" : "2147483647")) return std::nullopt;
        const long long magnitude = std::stoll(digits);
        return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64) return 0; // longer texts add nothing but regex time
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (parseInt32(text) != reference(text)) std::abort();
    return 0;
}
