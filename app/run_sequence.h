#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "base/run_log.h"
#include "base/version.h"
#include "config/configuration.h"

namespace app {

// The port stage: runs only after the configuration was read, with the mode
// table it produced and the log to report into.
using PortStage = std::function<void(ports::ModeTable&, base::RunLog&)>;

// Why a log named like the configuration is not written.
inline constexpr const char* logIsConfigurationReason = "it names the configuration file, which is kept";

// How long a run waits for another that drives the ports: less than the
// start-up task or unit allows a run, so a hung run holds none of the later
// ones for good.
inline constexpr int runLockLimitSeconds = 30;

// The configuration and the log a run uses unless told otherwise:
// SkarvelConfig.cfg and SkarvelConfig.log beside the program.
RunPaths defaultRunPaths();

// The configuration and log paths a run with these parameters uses.
RunPaths runPaths(const std::vector<std::string>& parameters);

// The program's one pass: settle the paths, remove the previous log, read the
// configuration, run the port stage, save the log, record the outcome.
void runSkarvelConfig(const std::vector<std::string>& parameters, const PortStage& portStage);

} // namespace app
