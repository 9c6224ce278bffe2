#include "support/expected_log.h"

#include <map>
#include <regex>
#include <stdexcept>

#include "log_lines.h"

namespace testing_support {

namespace {

// log_lines.txt's templates by name.
const std::map<std::string, std::string>& templates() {
    static const std::map<std::string, std::string> byName = [] {
        std::map<std::string, std::string> read;
        for (const std::string& line : splitLines(std::string(logLinesText), "\n")) {
            const std::size_t colon = line.find(": ");
            if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
            std::string text = line.substr(colon + 2);
            for (std::size_t tab; (tab = text.find("\\t")) != std::string::npos;) text.replace(tab, 2, "\t");
            read[line.substr(0, colon)] = text;
        }
        return read;
    }();
    return byName;
}

// The template `name` with each {placeholder} filled.
std::string filled(const std::string& name, const std::map<std::string, std::string>& values) {
    std::string text = templates().at(name);
    for (const auto& [placeholder, value] : values) {
        const std::string mark = "{" + placeholder + "}";
        for (std::size_t at = 0; (at = text.find(mark, at)) != std::string::npos; at += value.size()) {
            text.replace(at, mark.size(), value);
        }
    }
    return text;
}

} // namespace

Lines withHeader(Lines body) {
    body.insert(body.begin(), {banner, timestamp});
    return body;
}

Lines openFailureLines(const std::string& path) {
    return {filled("loadFailed", {{"path", path}}), filled("cannotOpen", {{"path", path}}), filled("aborting", {})};
}

Lines outOfMemoryLines(const std::string& path) {
    return {filled("loadFailed", {{"path", path}}), filled("outOfMemory", {}), filled("aborting", {})};
}

std::string leftHandMessage(const std::string& name, std::size_t line) {
    return filled("leftHand", {{"name", name}, {"line", std::to_string(line)}});
}

std::string rightHandMessage(const std::string& value, std::size_t line) {
    return filled("rightHand", {{"value", value}, {"line", std::to_string(line)}});
}

std::string portNotFound(std::int32_t number) { return filled("notFound", {{"number", std::to_string(number)}}); }
std::string portWithoutMode(std::int32_t number) {
    return filled("withoutMode", {{"number", std::to_string(number)}});
}
std::string portNotSet(std::int32_t number) { return filled("notSet", {{"number", std::to_string(number)}}); }

std::optional<std::size_t> messageLineNumber(const std::string& message) {
    for (const char* name : {"leftHand", "rightHand"}) {
        // The template's head, the side quoted, the words before the line
        // number, the number and the fixed tail.
        const std::string& text = templates().at(name);
        const std::size_t quoted = text.find('{'), quotedEnd = text.find('}') + 1, line = text.find("{line}");
        const std::string head = text.substr(0, quoted), before = text.substr(quotedEnd, line - quotedEnd),
                          tail = text.substr(line + 6);
        if (message.rfind(head, 0) != 0 || message.size() < head.size() + before.size() + tail.size() ||
            message.compare(message.size() - tail.size(), tail.size(), tail) != 0) {
            continue;
        }
        const std::string rest = message.substr(0, message.size() - tail.size());
        const std::size_t digits = rest.find_last_not_of("0123456789") + 1;
        if (digits == rest.size() || digits < head.size() + before.size() ||
            rest.compare(digits - before.size(), before.size(), before) != 0) {
            return std::nullopt;
        }
        return std::stoul(rest.substr(digits));
    }
    return std::nullopt;
}

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
