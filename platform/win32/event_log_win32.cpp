#include <windows.h>

#include <string>

#include "event_messages.h"
#include "platform/event_text.h"
#include "platform/platform.h"
#include "platform/win32/runs_win32.h"

namespace platform {

void recordRunEvent(RunEvent event, const std::string& text) noexcept {
    // Without a registered source Windows still records the event, with a
    // note that its message file is unknown; the text is there all the same.
    const HANDLE source = RegisterEventSourceA(nullptr, "SkarvelConfig");
    if (!source) return;
    WORD type = EVENTLOG_ERROR_TYPE;
    DWORD id = MSG_RUN_NOT_STARTED;
    switch (event) {
    case RunEvent::clean: type = EVENTLOG_INFORMATION_TYPE, id = MSG_RUN_CLEAN; break;
    case RunEvent::problems: type = EVENTLOG_WARNING_TYPE, id = MSG_RUN_PROBLEMS; break;
    case RunEvent::notDone: id = MSG_RUN_FAILED; break;
    case RunEvent::notStarted: break;
    }
    try {
        const std::string shown = eventTextOf(text);
        const char* strings[] = {shown.c_str()};
        if (ReportEventA(source, type, 0, id, nullptr, 1, 0, strings, nullptr)) tellEventRecorded();
    } catch (...) {
        // Out of memory at the very end: the log is written, the event is not.
    }
    DeregisterEventSource(source);
}

} // namespace platform
