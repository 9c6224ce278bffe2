#include "platform/event_text.h"

std::string eventTextOf(const std::string& logText) {
    if (logText.size() <= longestEventText) return logText;
    return logText.substr(0, longestEventText) + "...\r\n";
}
