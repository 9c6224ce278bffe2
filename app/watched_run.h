#pragma once

// A run as a person or a service starts it from a command line: the
// program beside this one, on this process's own parameters, one run at a
// time, and what that run did shown afterwards. SkarvelConfig.com on
// Windows, the skarvelconfig command on Linux.

#include <string>
#include <vector>

namespace app {

// Runs the program and shows the log this run wrote (each line marked with
// its priority where standard output is the journal), or one line why there
// is none. Returns 0, 1 or 2 for a run that was clean, had problems, or was
// not done.
int runWatched(const std::vector<std::string>& parameters);

} // namespace app
