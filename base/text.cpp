#include "base/text.h"

namespace base {

namespace {

bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= 32; }

} // namespace

std::string_view trimText(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isTrimmed(text[begin])) ++begin;
    while (end > begin && isTrimmed(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

namespace {

char upperAsciiByte(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

std::string upperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = upperAsciiByte(c);
    return result;
}

bool upperAsciiEquals(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (upperAsciiByte(text[i]) != upper[i]) return false;
    }
    return true;
}

std::pair<std::string_view, std::string_view> splitAtFirst(std::string_view text, char ch) {
    const std::size_t at = text.find(ch);
    if (at == std::string_view::npos) return {text, std::string_view{}};
    return {text.substr(0, at), text.substr(at + 1)};
}

std::string formatDecimal(std::int32_t value) {
    // Work in 64 bits so that the most negative value needs no special case.
    std::int64_t magnitude = value;
    const bool negative = magnitude < 0;
    if (negative) magnitude = -magnitude;
    char digits[12];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::string result;
    result.reserve(count + 1);
    if (negative) result.push_back('-');
    while (count > 0) result.push_back(digits[--count]);
    return result;
}

std::string lfLines(std::string_view crlfText) {
    std::string lines;
    lines.reserve(crlfText.size());
    for (std::size_t at = 0; at < crlfText.size(); ++at) {
        if (crlfText[at] == '\r' && at + 1 < crlfText.size() && crlfText[at + 1] == '\n') continue;
        lines.push_back(crlfText[at]);
    }
    return lines;
}

} // namespace base
