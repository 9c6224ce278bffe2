#include "platform/platform.h"

namespace platform {

std::vector<std::string> commandLineParameters(int argc, char** argv) {
    std::vector<std::string> parameters;
    for (int i = 1; i < argc; ++i) parameters.emplace_back(argv[i]);
    return parameters;
}

bool slashMayStartPath() { return true; }

bool answersHelpAndVersion() { return true; }

} // namespace platform
