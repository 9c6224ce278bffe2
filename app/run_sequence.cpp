#include "app/run_sequence.h"

#include <optional>

#include "app/run_outcome.h"
#include "platform/platform.h"

RunPaths runPaths(const std::vector<std::string>& parameters) {
    const std::string programDir = platform::programDir();
    RunPaths paths{programDir + "SkarvelConfig.cfg", programDir + "SkarvelConfig.log"};
    applyOptions(parameters, OptionRules{platform::firstMatchIsFile, platform::slashMayStartPath()}, paths);
    return paths;
}

namespace {

// The run's event: the log's lines, and why the log is missing when it is.
void recordOutcome(const RunLog& log, const std::string& logPath, const std::string& unwritten) noexcept {
    try {
        const platform::RunOutcome outcome =
            unwritten.empty() ? outcomeOfLog(log.text()) : platform::RunOutcome::notDone;
        std::string text = log.text();
        if (!unwritten.empty()) text += "The log could not be written to " + logPath + ": " + unwritten + "\r\n";
        platform::recordRunOutcome(outcome, text);
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

    RunLog log;
    log.appendLine(programBanner);
    log.appendLine(formatTimestamp(platform::localNow()));

    ModeTable modeTable;
    const bool loaded = loadConfiguration(paths.configPath, log, modeTable);
    if (loaded) portStage(modeTable, log);

    std::string unwritten = logIsConfiguration ? std::string(logIsConfigurationReason) : std::string();
    if (!logIsConfiguration && !saveLog(paths.logPath, log, unwritten) && unwritten.empty()) {
        unwritten = "the reason is unknown";
    }
    if (unwritten.empty() && !paths.logPath.empty()) platform::tellLogWritten();
    recordOutcome(log, paths.logPath, unwritten);
}
