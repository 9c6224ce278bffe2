#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/run_log.h"
#include "platform/platform.h"
#include "ports/mode_table.h"

// Judges every line of the configuration text: accepted lines become entries
// in file order, every unusable line becomes one message in the log. With
// `entryLines`, the line number of each entry too.
ModeTable parseConfiguration(std::string_view text, RunLog& log, std::vector<std::size_t>* entryLines = nullptr);

// The keyword a mode code is written as ("RS485" for two-wire).
std::string_view modeKeyword(std::int32_t modeCode);

// The three lines that say the file could not be read at all.
void appendLoadFailure(RunLog& log, const std::string& configPath, platform::ReadStatus status);

// Whether a log line is the first of those three.
bool opensLoadFailure(std::string_view line);

// Reads the file at configPath into `table`. False when the file cannot be read;
// the log then holds the three failure lines and the table is empty.
bool loadConfiguration(const std::string& configPath, RunLog& log, ModeTable& table,
                       std::vector<std::size_t>* entryLines = nullptr);
