#include "platform/command_line_split.h"

namespace platform {

namespace {

bool isSeparator(unsigned char c) { return c >= 1 && c <= 32; }

// Reads the parameter that starts at or after `pos` into `parameter`; returns
// the position after it. An empty parameter only arises at the end of the text.
std::size_t readParameter(std::string_view raw, std::size_t pos, std::string& parameter) {
    const std::size_t size = raw.size();
    while (pos < size) {
        if (isSeparator(static_cast<unsigned char>(raw[pos]))) {
            ++pos;
        } else if (raw[pos] == '"' && pos + 1 < size && raw[pos + 1] == '"') {
            pos += 2;
        } else {
            break;
        }
    }

    parameter.clear();
    while (pos < size && static_cast<unsigned char>(raw[pos]) >= 33) {
        if (parameter.size() >= maxParameterLength) break;
        if (raw[pos] == '"') {
            ++pos;
            const std::size_t close = raw.find('"', pos);
            const std::size_t end = close == std::string_view::npos ? size : close;
            parameter.append(raw.substr(pos, end - pos));
            pos = close == std::string_view::npos ? size : close + 1;
        } else {
            parameter.push_back(raw[pos++]);
        }
    }
    return pos;
}

// The platform's text ends at the first NUL.
std::string_view upToNul(std::string_view raw) { return raw.substr(0, raw.find('\0')); }

} // namespace

std::vector<std::string> splitCommandLine(std::string_view raw) {
    raw = upToNul(raw);
    std::vector<std::string> parameters;
    std::string parameter;
    for (std::size_t pos = readParameter(raw, 0, parameter); !parameter.empty();
         pos = readParameter(raw, pos, parameter)) {
        parameters.push_back(parameter);
    }
    return parameters;
}

std::string commandLineTail(std::string_view raw) {
    raw = upToNul(raw);
    std::string name;
    const std::string_view tail = raw.substr(readParameter(raw, 0, name));
    const bool cut = !tail.empty() && !isSeparator(static_cast<unsigned char>(tail.front()));
    return (cut ? " " : "") + std::string(tail);
}

} // namespace platform
