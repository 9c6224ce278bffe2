#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/run_log.h"
#include "base/version.h"
#include "config/configuration.h"

// The port stage: runs only after the configuration was read, with the mode
// table it produced and the log to report into.
using PortStage = std::function<void(ModeTable&, RunLog&)>;

// The program's one pass: settle the paths, remove the previous log, read the
// configuration, run the port stage, save the log.
void runSkarvelConfig(const std::vector<std::string>& parameters, const PortStage& portStage);
