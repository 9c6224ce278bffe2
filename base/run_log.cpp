#include "base/run_log.h"

#include <cstdio>

namespace base {

void RunLog::appendLine(std::string_view text) {
    text_.append(text);
    text_.append("\r\n");
    ++lineCount_;
}

std::string formatTimestamp(const platform::LocalDateTime& moment) {
    char buffer[96];
    const int length = std::snprintf(buffer, sizeof buffer, "%d:%.2d:%.2d::%d:%.2d:%.2d", moment.year,
                                     moment.month, moment.day, moment.hour, moment.minute, moment.second);
    if (length < 0) return std::string();
    return std::string(buffer, static_cast<std::size_t>(length) < sizeof buffer ? length : sizeof buffer - 1);
}

LogSave saveLog(const std::string& path, const RunLog& log) noexcept {
    LogSave save;
    try {
        if (path.empty()) return {true, {}};
        platform::NewFile file(path);
        if (file.isOpen() && file.write(log.text())) return {true, {}};
        save.failure = platform::lastErrorText();
        // A log cut short would pass for a whole run's.
        file.discard();
    } catch (...) {
        // Out of memory while saying why.
    }
    return save;
}

} // namespace base
