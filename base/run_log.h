#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace base {

// The run's only report: lines collected during the run, saved once at the end.
// Lines are kept already rendered (each followed by CR LF) in one buffer, so a
// log of a million lines costs little more than its own bytes.
class RunLog {
public:
    void appendLine(std::string_view text);
    // Room for `bytes` more without regrowing: a known burst of lines is then
    // appended without copying what is already there.
    void reserve(std::size_t bytes) { text_.reserve(text_.size() + bytes); }

    std::size_t lineCount() const { return lineCount_; }
    // Every line, each followed by CR LF: exactly the bytes of the log file.
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::size_t lineCount_ = 0;
};

std::string formatTimestamp(const platform::LocalDateTime& moment);

struct LogSave {
    bool written = false;
    std::string failure; // the platform's words for why not, where it has any
};

// Writes the log to `path`, replacing any file there; an empty path asks for
// no log. A file it began and could not finish is removed again. No failure
// changes how the run ends.
LogSave saveLog(const std::string& path, const RunLog& log) noexcept;

} // namespace base
