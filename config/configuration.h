#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/run_log.h"
#include "platform/platform.h"
#include "ports/mode_table.h"

namespace config {

// What a configuration gives: its entries in file order, and the line number
// each was read from.
struct Configuration {
    ports::ModeTable table;
    std::vector<std::size_t> entryLines;
};

// Judges every line of the configuration text: accepted lines become entries
// in file order, every unusable line becomes one message in the log.
Configuration parseConfiguration(std::string_view text, base::RunLog& log);

// The keyword a mode code is written as ("RS485" for two-wire).
std::string_view modeKeyword(std::int32_t modeCode);

// The three lines that say the file could not be read at all.
void appendLoadFailure(base::RunLog& log, const std::string& configPath, platform::ReadStatus status);

// Whether a log line is the first of those three.
bool opensLoadFailure(std::string_view line);

// Reads the file at configPath; nothing when the file cannot be read, and
// the log then holds the three failure lines.
std::optional<Configuration> loadConfiguration(const std::string& configPath, base::RunLog& log);

} // namespace config
