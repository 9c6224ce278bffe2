#pragma once

#include <string>

namespace platform {

// The running program's own file, as the kernel names it; empty if unknown.
std::string executablePath();

} // namespace platform
