#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The most of a run's log one event carries: one insertion string holds at
// most 31,839 characters.
inline constexpr std::size_t longestEventText = 31000;

// The event's text: the log's, or its first longestEventText characters and
// "...", on a line of its own, where the log is longer.
std::string eventTextOf(const std::string& logText);

} // namespace platform
