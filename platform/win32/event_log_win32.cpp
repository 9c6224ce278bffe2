#include <windows.h>

#include <string>

#include "event_messages.h"
#include "platform/event_text.h"
#include "platform/platform.h"

namespace platform {

void recordRunEvent(EventLevel level, const std::string& text) noexcept {
    // Without a registered source Windows still records the event, with a
    // note that its message file is unknown; the text is there all the same.
    const HANDLE source = RegisterEventSourceA(nullptr, "SkarvelConfig");
    if (!source) return;
    WORD type = EVENTLOG_INFORMATION_TYPE;
    DWORD id = MSG_RUN_CLEAN;
    if (level == EventLevel::warning) {
        type = EVENTLOG_WARNING_TYPE;
        id = MSG_RUN_PROBLEMS;
    } else if (level == EventLevel::error) {
        type = EVENTLOG_ERROR_TYPE;
        id = MSG_RUN_FAILED;
    }
    try {
        const std::string shown = eventTextOf(text);
        const char* strings[] = {shown.c_str()};
        ReportEventA(source, type, 0, id, nullptr, 1, 0, strings, nullptr);
    } catch (...) {
        // Out of memory at the very end: the log is written, the event is not.
    }
    DeregisterEventSource(source);
}

} // namespace platform
