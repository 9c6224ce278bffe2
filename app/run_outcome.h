#pragma once

// How a run ended, judged from the log it wrote: the one judgement behind
// every report of a run (the event's level, the exit status of the console
// companion and of the Linux command, the journal's priorities).

#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace app {

enum class RunOutcome {
    clean,    // the log holds its header, or besides it only ports no entry is for
    problems, // it names an unusable configuration line, a refused mode or a port not found
    notDone,  // the configuration could not be read, the log not written, or the
              // program not started or not ended in the ordinary way
};

// The journal's priorities (syslog's levels) a log line is shown at.
enum class LinePriority {
    error = 3,   // the lines of a configuration that cannot be read
    warning = 4, // an unusable configuration line, a refused mode, a port not found
    notice = 5,  // a port the configuration leaves alone
    info = 6,    // the banner and the time
};

// Each line of a log (lines ended by CR LF), in order.
std::vector<LinePriority> linePriorities(std::string_view logText);

// Not done when the configuration could not be read, problems when a line
// says one, clean otherwise: a log of its header alone, or besides it only
// ports the configuration leaves alone.
RunOutcome outcomeOfLog(std::string_view logText);

// The exit status that says it, as --check does: 0 clean, 1 problems, 2 not done.
int exitStatusOf(RunOutcome outcome);

// What the run's event says: clean, problems, not done.
platform::RunEvent eventOf(RunOutcome outcome);

} // namespace app
