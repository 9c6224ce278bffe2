#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/version.h"

// The texts a log is expected to hold, as the end-to-end tests compare them
// (see logLines: the timestamp line stands as "<timestamp>").

namespace testing_support {

using Lines = std::vector<std::string>;

inline const std::string banner = programBanner;
inline const std::string timestamp = "<timestamp>";

// The banner and the timestamp, then `body`.
Lines withHeader(Lines body);

// The three lines of a configuration file that cannot be opened.
Lines openFailureLines(const std::string& path);

std::string leftHandMessage(const std::string& name, std::size_t line);
std::string rightHandMessage(const std::string& value, std::size_t line);

} // namespace testing_support
