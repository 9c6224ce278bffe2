#include "app/run_sequence.h"

#include <optional>

#include "app/run_outcome.h"
#include "platform/platform.h"

namespace app {

RunPaths defaultRunPaths() {
    const std::string programDir = platform::programDir();
    return {programDir + "SkarvelConfig.cfg", programDir + "SkarvelConfig.log"};
}

RunPaths runPaths(const std::vector<std::string>& parameters) {
    RunPaths paths = defaultRunPaths();
    applyOptions(parameters, OptionRules{platform::firstMatchIsFile, platform::slashMayStartPath()}, paths);
    return paths;
}

namespace {

// The run's event: the log's lines, and why the log is missing when it is.
void recordOutcome(const base::RunLog& log, const std::string& logPath, const std::string& unwritten) noexcept {
    try {
        const RunOutcome outcome = unwritten.empty() ? outcomeOfLog(log.text()) : RunOutcome::notDone;
        std::string text = log.text();
        if (!unwritten.empty()) text += "The log could not be written to " + logPath + ": " + unwritten + "\r\n";
        platform::recordRunEvent(eventOf(outcome), text);
    } catch (...) {
        // Out of memory at the very end: the log is written, the event is not.
    }
}

} // namespace

void runSkarvelConfig(const std::vector<std::string>& parameters, const PortStage& portStage) {
    // Another run driving the ports is waited for; the console companion
    // that started this run holds the lock for it.
    std::optional<platform::RunLock> lock;
    if (platform::programTakesRunLock()) lock.emplace(runLockLimitSeconds);
    const RunPaths paths = runPaths(parameters);

    // A log named like the configuration, under whatever spelling, would
    // destroy it: the configuration is kept and no log is written.
    const bool logIsConfiguration = platform::sameFile(paths.configPath, paths.logPath);

    // The previous log goes first, so a stale log never passes for this run's.
    if (!logIsConfiguration) platform::deleteFile(paths.logPath);

    base::RunLog log;
    log.appendLine(base::programBanner);
    log.appendLine(base::formatTimestamp(platform::localNow()));

    if (std::optional<config::Configuration> configuration = config::loadConfiguration(paths.configPath, log)) {
        portStage(configuration->table, log);
    }

    std::string unwritten = logIsConfiguration ? std::string(logIsConfigurationReason) : std::string();
    if (!logIsConfiguration) {
        const base::LogSave save = base::saveLog(paths.logPath, log);
        if (!save.written) unwritten = save.failure.empty() ? "the reason is unknown" : save.failure;
    }
    if (unwritten.empty() && !paths.logPath.empty()) platform::tellLogWritten();
    recordOutcome(log, paths.logPath, unwritten);
}

} // namespace app
