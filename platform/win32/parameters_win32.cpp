#include <windows.h>

#include "platform/command_line_split.h"
#include "platform/platform.h"

namespace platform {

std::vector<std::string> commandLineParameters(int, char**) {
    // The raw text, split by the program's own rules; the first is the program's name.
    std::vector<std::string> parameters = splitCommandLine(GetCommandLineA());
    if (!parameters.empty()) parameters.erase(parameters.begin());
    return parameters;
}

// A program of the graphical subsystem has no console to answer on.
bool answersHelpAndVersion() { return false; }

bool slashMayStartPath() { return false; }

} // namespace platform
