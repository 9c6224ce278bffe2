#include "platform/command_line_split.h"

namespace {

bool isSeparator(unsigned char c) { return c >= 1 && c <= 32; }

} // namespace

std::vector<std::string> splitCommandLine(std::string_view raw) {
    // The platform's text ends at the first NUL.
    raw = raw.substr(0, raw.find('\0'));

    std::vector<std::string> parameters;
    std::size_t pos = 0;
    const std::size_t size = raw.size();
    for (;;) {
        while (pos < size) {
            if (isSeparator(static_cast<unsigned char>(raw[pos]))) {
                ++pos;
            } else if (raw[pos] == '"' && pos + 1 < size && raw[pos + 1] == '"') {
                pos += 2;
            } else {
                break;
            }
        }

        std::string parameter;
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
        // An empty parameter only arises at the end of the text.
        if (parameter.empty()) break;
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}
