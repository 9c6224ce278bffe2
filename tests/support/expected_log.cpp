#include "support/expected_log.h"

#include <regex>
#include <stdexcept>

namespace testing_support {

Lines withHeader(Lines body) {
    body.insert(body.begin(), {banner, timestamp});
    return body;
}

Lines openFailureLines(const std::string& path) {
    return {"Error loading " + path + ":", "\tEFOpenError: Cannot open file " + path, "\tAborting."};
}

Lines outOfMemoryLines(const std::string& path) {
    return {"Error loading " + path + ":", "\tEOutOfMemory: Out of memory", "\tAborting."};
}

std::string leftHandMessage(const std::string& name, std::size_t line) {
    return "LValue \"" + name + "\" on line " + std::to_string(line) + " should be of \"Port0\", \"Port1\", etc. form.";
}

std::string rightHandMessage(const std::string& value, std::size_t line) {
    return "RValue \"" + value + "\" on line " + std::to_string(line) +
           " should be \"RS232\", \"RS422\", \"RS485\", \"RS485-4W\".";
}

std::string portNotFound(std::int32_t number) { return "Port " + std::to_string(number) + " not found."; }
std::string portWithoutMode(std::int32_t number) {
    return "Port " + std::to_string(number) + " found with no mode assigned.";
}
std::string portNotSet(std::int32_t number) { return "Failed to set mode for port " + std::to_string(number) + "."; }

std::string textOf(const Lines& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

Lines splitLines(const std::string& text, const std::string& end) {
    Lines lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t found = text.find(end, at);
        if (found == std::string::npos) throw std::runtime_error("text does not end in a line end");
        lines.push_back(text.substr(at, found - at));
        at = found + end.size();
    }
    return lines;
}

Lines logLines(const std::string& logBytes) {
    Lines lines = splitLines(logBytes);
    static const std::regex stamp(R"(\d{4,}:\d\d:\d\d::\d{1,2}:\d\d:\d\d)");
    if (lines.size() >= 2 && std::regex_match(lines[1], stamp)) lines[1] = timestamp;
    return lines;
}

} // namespace testing_support
