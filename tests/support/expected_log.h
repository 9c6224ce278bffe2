#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/version.h"

// The texts a log is expected to hold, made from the templates in
// log_lines.txt, and the lines read back from one, as the tests compare them
// (see logLines: the timestamp line stands as "<timestamp>").

namespace testing_support {

using Lines = std::vector<std::string>;

inline const std::string banner = base::programBanner;
inline const std::string timestamp = "<timestamp>";

// The banner and the timestamp, then `body`.
Lines withHeader(Lines body);

// The three lines of a configuration file that cannot be opened, or is too large.
Lines openFailureLines(const std::string& path);
Lines outOfMemoryLines(const std::string& path);

std::string leftHandMessage(const std::string& name, std::size_t line);
std::string rightHandMessage(const std::string& value, std::size_t line);

// The port stage's lines.
std::string portNotFound(std::int32_t number);
std::string portWithoutMode(std::int32_t number);
std::string portNotSet(std::int32_t number);

// The line number a message about an unusable configuration line names,
// or none when it is no such message.
std::optional<std::size_t> messageLineNumber(const std::string& message);

// `lines` as bytes, each followed by `end`.
std::string textOf(const Lines& lines, const std::string& end = "\r\n");

// The lines of `text`, each ended by `end`; a last line left unended throws.
Lines splitLines(const std::string& text, const std::string& end = "\r\n");

// A log file's lines; the timestamp line is checked and replaced by
// "<timestamp>" so that whole logs can be compared.
Lines logLines(const std::string& logBytes);

} // namespace testing_support
