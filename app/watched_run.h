#pragma once

// A run as a person or a service starts it from a command line: the
// program beside this one, on this process's own parameters, one run at a
// time, and what that run did shown afterwards. SkarvelConfig.com on
// Windows, the skarvelconfig command on Linux.

#include <string>
#include <vector>

#include "app/run_outcome.h"

namespace app {

// How a watched run ended, and the log it wrote (empty where none was read).
struct WatchedRun {
    RunOutcome outcome = RunOutcome::notDone;
    std::string log;
};

// Runs the program and shows the log this run wrote (each line marked with
// its priority where standard output is the journal), or one line why there
// is none.
WatchedRun runWatched(const std::vector<std::string>& parameters);

} // namespace app
