#include "app/watched_run.h"

#include <optional>

#include "app/run_outcome.h"
#include "app/run_sequence.h"
#include "platform/platform.h"

namespace app {

namespace {

// What the program needs beside it that the system does not have.
constexpr const char* portLibraryHint =
    " (it needs LumtorPort.dll, the port maker's library, beside it: the installer's PORTLIBRARY puts it there)";

class Output {
public:
    Output() : journal_(platform::streamIsJournal(1)) {}

    void line(std::string_view text, LinePriority priority) {
        std::string shown;
        if (journal_) shown = "<" + std::to_string(static_cast<int>(priority)) + ">";
        shown.append(text).append("\n");
        platform::printText(std::string_view(shown));
    }

    void log(std::string_view text) {
        const std::vector<LinePriority> priorities = linePriorities(text);
        for (LinePriority priority : priorities) {
            const std::size_t end = text.find("\r\n");
            line(text.substr(0, end), priority);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
        }
    }

private:
    bool journal_;
};

// The configuration's own reason, which its log lines do not give.
void sayWhyUnreadable(Output& out, const std::string& configPath) {
    if (platform::readWholeFile(configPath).status == platform::ReadStatus::ok) return;
    const std::string reason = platform::lastErrorText();
    out.line("SkarvelConfig could not read its configuration " + configPath +
                 (reason.empty() ? ": it is no file that can be read." : ": " + reason),
             LinePriority::error);
}

} // namespace

WatchedRun runWatched(const std::vector<std::string>& parameters) {
    const platform::RunLock lock(runLockLimitSeconds);
    const RunPaths paths = runPaths(parameters);
    Output out;
    const bool logAsked = !paths.logPath.empty() && !platform::sameFile(paths.configPath, paths.logPath);

    // The previous log, kept in mind: only a log this run wrote in its place
    // is shown, never one it could not replace. Where the program can say
    // that it wrote its log, its word counts too.
    std::optional<platform::FileWitness> previous;
    if (logAsked) previous.emplace(paths.logPath);

    const std::string program = platform::programDir() + platform::jobProgramFileName();
    const platform::ProgramRun run = platform::runProgram(program, parameters);
    // A run that never ran, or ended before its log without an event of its
    // own (its failure report records one), is an event where the platform
    // keeps events.
    if (!run.started) {
        const std::string said = "SkarvelConfig: " + program + " cannot be started: " + run.failure +
                                 (run.refusedByLoader ? portLibraryHint : "");
        out.line(said, LinePriority::error);
        platform::recordRunEvent(platform::RunEvent::notStarted, said);
        return {RunOutcome::notDone, {}};
    }
    if (run.status != 0) {
        // Only the failure report ends the program otherwise; it writes no log.
        const std::string said =
            "SkarvelConfig ended with status " + std::to_string(run.status) + " before writing its log.";
        out.line(said, LinePriority::error);
        if (!run.toldEventRecorded) platform::recordRunEvent(platform::RunEvent::notDone, said);
        return {RunOutcome::notDone, {}};
    }
    if (paths.logPath.empty()) {
        out.line("SkarvelConfig wrote no log: /LOG= names no file.", LinePriority::notice);
        return {RunOutcome::clean, {}};
    }
    if (!logAsked) {
        out.line("SkarvelConfig wrote no log to " + paths.logPath + ": " + logIsConfigurationReason + ".",
                 LinePriority::error);
        return {RunOutcome::notDone, {}};
    }

    platform::ReadResult written = platform::readWholeFile(paths.logPath);
    if (written.status != platform::ReadStatus::ok || (!run.toldLogWritten && previous->unchanged(written))) {
        const platform::WriteRefusal refusal = platform::whyNotWritable(paths.logPath);
        std::string said = "SkarvelConfig could not write its log " + paths.logPath +
                           (refusal.reason.empty() ? "." : ": " + refusal.reason);
        if (refusal.accessDenied) {
            // Windows ends its reasons with a period, the C library does not.
            said += said.back() == '.' ? " " : ". ";
            said += "The start-up run, or a run as administrator, can write it.";
        }
        out.line(said, LinePriority::error);
        return {RunOutcome::notDone, {}};
    }
    out.log(written.bytes);
    const RunOutcome outcome = outcomeOfLog(written.bytes);
    if (outcome == RunOutcome::notDone) sayWhyUnreadable(out, paths.configPath);
    return {outcome, std::move(written.bytes)};
}

} // namespace app
