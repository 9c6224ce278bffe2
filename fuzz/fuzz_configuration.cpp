// The configuration reader: bytes in, log lines and mode table out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration.h"
#include "ports/lumtor_ports.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Lines as a plain reading of the rules: CR, LF or CR LF end a line, NUL ends the text.
std::vector<std::string_view> referenceLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] != '\0'; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (i > start) lines.push_back(text.substr(start, i - start));
    return lines;
}

bool isAssignment(std::string_view line) {
    std::size_t b = 0, e = line.size();
    while (b < e && static_cast<unsigned char>(line[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(line[e - 1]) <= 32) --e;
    return b < e && line[b] != '[' && line[b] != ';';
}

// The line number of a message, read from its fixed ending.
long messageLineNumber(std::string_view message) {
    static const std::string_view left = " should be of \"Port0\", \"Port1\", etc. form.";
    static const std::string_view right = " should be \"RS232\", \"RS422\", \"RS485\", \"RS485-4W\".";
    std::string_view rest;
    if (message.substr(0, 8) == "LValue \"" && message.size() >= left.size() &&
        message.substr(message.size() - left.size()) == left) {
        rest = message.substr(0, message.size() - left.size());
    } else if (message.substr(0, 8) == "RValue \"" && message.size() >= right.size() &&
               message.substr(message.size() - right.size()) == right) {
        rest = message.substr(0, message.size() - right.size());
    } else {
        std::abort();
    }
    std::size_t digits = rest.size();
    while (digits > 0 && rest[digits - 1] >= '0' && rest[digits - 1] <= '9') --digits;
    check(digits < rest.size());
    check(rest.substr(0, digits).size() >= 10 && rest.substr(digits - 10, 10) == "\" on line ");
    return std::strtol(std::string(rest.substr(digits)).c_str(), nullptr, 10);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RunLog log;
    const ModeTable table = parseConfiguration(text, log);

    std::size_t assignments = 0;
    for (std::string_view line : referenceLines(text)) assignments += isAssignment(line) ? 1 : 0;
    // Every assignment line yields exactly one entry or exactly one message.
    check(table.size() + log.lineCount() == assignments);

    for (const ModeEntry& entry : table) {
        check(entry.modeCode == modeCodeRs232 || entry.modeCode == modeCodeRs422 ||
              entry.modeCode == modeCodeRs485FourWire || entry.modeCode == modeCodeRs485TwoWire);
    }

    // Messages: one per line of the log, CR LF after each and nowhere else,
    // line numbers strictly rising and within the file.
    const std::string& bytes = log.text();
    long previous = 0;
    std::size_t at = 0;
    std::size_t count = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", at);
        check(end != std::string::npos);
        const std::string_view message(bytes.data() + at, end - at);
        check(message.find_first_of("\r\n") == std::string_view::npos);
        const long number = messageLineNumber(message);
        check(number > previous);
        check(static_cast<std::size_t>(number) <= referenceLines(text).size());
        previous = number;
        at = end + 2;
        ++count;
    }
    check(count == log.lineCount());
    return 0;
}
