#include "app/run_sequence.h"

#include "app/command_line.h"
#include "platform/platform.h"

void runSkarvelConfig(const std::vector<std::string>& parameters, const PortStage& portStage) {
    const std::string programDir = platform::programDir();
    RunPaths paths{programDir + "SkarvelConfig.cfg", programDir + "SkarvelConfig.log"};
    applyOptions(parameters, OptionRules{platform::firstMatchIsFile, platform::slashMayStartPath()}, paths);

    // A log named like the configuration, under whatever spelling, would
    // destroy it: the configuration is kept and no log is written.
    const bool logIsConfiguration = platform::sameFile(paths.configPath, paths.logPath);

    // The previous log goes first, so a stale log never passes for this run's.
    if (!logIsConfiguration) platform::deleteFile(paths.logPath);

    RunLog log;
    log.appendLine(programBanner);
    log.appendLine(formatTimestamp(platform::localNow()));

    ModeTable modeTable;
    if (loadConfiguration(paths.configPath, log, modeTable)) portStage(modeTable, log);

    if (!logIsConfiguration) saveLog(paths.logPath, log);
}
