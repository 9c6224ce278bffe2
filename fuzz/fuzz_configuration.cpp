// The configuration reader: bytes in, log lines and mode table out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration.h"
#include "ports/lumtor_ports.h"
#include "support/expected_log.h"

using namespace base;
using namespace config;
using namespace ports;

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RunLog log;
    const ModeTable table = parseConfiguration(text, log).table;

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
        const std::optional<std::size_t> line = testing_support::messageLineNumber(std::string(message));
        check(line.has_value());
        const long number = static_cast<long>(*line);
        check(number > previous);
        check(static_cast<std::size_t>(number) <= referenceLines(text).size());
        previous = number;
        at = end + 2;
        ++count;
    }
    check(count == log.lineCount());
    return 0;
}
