#include "config/configuration.h"

#include <utility>

#include "base/text.h"
#include "config/parse_int.h"
#include "ports/lumtor_ports.h"

namespace config {

namespace {

struct Keyword {
    std::string_view text;
    std::int32_t modeCode;
};

constexpr Keyword keywords[] = {
    {"RS232", modeCodeRs232},         {"RS422", modeCodeRs422},         {"RS485-4W", modeCodeRs485FourWire},
    {"RS485", modeCodeRs485TwoWire}, {"RS485-2W", modeCodeRs485TwoWire},
};

// The mode code for a keyword as written (any letter case), or false.
bool lookUpModeKeyword(std::string_view value, std::int32_t& modeCode) {
    for (const Keyword& keyword : keywords) {
        if (base::upperAsciiEquals(value, keyword.text)) {
            modeCode = keyword.modeCode;
            return true;
        }
    }
    return false;
}

// Messages are built in one buffer reused for every line.
void appendMessage(base::RunLog& log, std::string& buffer, std::string_view head, std::string_view text,
                   std::size_t lineNumber, std::string_view tail) {
    buffer.assign(head).append(text).append("\" on line ").append(std::to_string(lineNumber)).append(tail);
    log.appendLine(buffer);
}

void appendLeftHandMessage(base::RunLog& log, std::string& buffer, std::string_view name, std::size_t lineNumber) {
    appendMessage(log, buffer, "LValue \"", name, lineNumber, " should be of \"Port0\", \"Port1\", etc. form.");
}

void appendRightHandMessage(base::RunLog& log, std::string& buffer, std::string_view value, std::size_t lineNumber) {
    appendMessage(log, buffer, "RValue \"", value, lineNumber,
                  " should be \"RS232\", \"RS422\", \"RS485\", \"RS485-4W\".");
}

void judgeLine(std::string_view line, std::size_t lineNumber, base::RunLog& log, ports::ModeTable& table,
               std::string& buffer) {
    const std::string_view trimmed = base::trimText(line);
    if (trimmed.empty() || trimmed[0] == '[' || trimmed[0] == ';') return;

    const auto [rawName, rawValue] = base::splitAtFirst(trimmed, '=');
    const std::string_view name = base::trimText(rawName);
    const std::string_view value = base::trimText(rawValue);

    if (name.size() < 4 || !base::upperAsciiEquals(name.substr(0, 4), "PORT")) {
        appendLeftHandMessage(log, buffer, name, lineNumber);
        return;
    }
    const auto portNumber = parseInt32(name.substr(4));
    if (!portNumber) {
        appendLeftHandMessage(log, buffer, name, lineNumber);
        return;
    }
    std::int32_t modeCode = 0;
    if (!lookUpModeKeyword(value, modeCode)) {
        appendRightHandMessage(log, buffer, value, lineNumber);
        return;
    }
    table.push_back(ports::ModeEntry{*portNumber, modeCode});
}

} // namespace

std::string_view modeKeyword(std::int32_t modeCode) {
    for (const Keyword& keyword : keywords) {
        if (keyword.modeCode == modeCode) return keyword.text;
    }
    return "?";
}

Configuration parseConfiguration(std::string_view text, base::RunLog& log) {
    // A NUL byte ends the text.
    text = text.substr(0, text.find('\0'));

    Configuration configuration;
    std::string buffer;
    std::size_t lineNumber = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t end = position;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        const std::size_t entries = configuration.table.size();
        judgeLine(text.substr(position, end - position), ++lineNumber, log, configuration.table, buffer);
        if (configuration.table.size() > entries) configuration.entryLines.push_back(lineNumber);
        if (end == text.size()) break;
        // CR LF together is one line end; LF CR is two.
        position = end + 1;
        if (text[end] == '\r' && position < text.size() && text[position] == '\n') ++position;
    }
    return configuration;
}

namespace {
constexpr std::string_view loadFailureStart = "Error loading ";
}

void appendLoadFailure(base::RunLog& log, const std::string& configPath, platform::ReadStatus status) {
    log.appendLine(std::string(loadFailureStart) + configPath + ":");
    if (status == platform::ReadStatus::outOfMemory) {
        log.appendLine("\tEOutOfMemory: Out of memory");
    } else {
        log.appendLine("\tEFOpenError: Cannot open file " + configPath);
    }
    log.appendLine("\tAborting.");
}

bool opensLoadFailure(std::string_view line) { return line.substr(0, loadFailureStart.size()) == loadFailureStart; }

std::optional<Configuration> loadConfiguration(const std::string& configPath, base::RunLog& log) {
    const platform::ReadResult read = platform::readWholeFile(configPath);
    if (read.status != platform::ReadStatus::ok) {
        appendLoadFailure(log, configPath, read.status);
        return std::nullopt;
    }
    return parseConfiguration(read.bytes, log);
}

} // namespace config
