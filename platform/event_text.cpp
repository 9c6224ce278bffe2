#include "platform/event_text.h"

namespace platform {

std::string eventTextOf(const std::string& logText) {
    if (logText.size() <= longestEventText) return logText;
    return logText.substr(0, longestEventText) + "...\r\n";
}

} // namespace platform
