#pragma once

#include <string>

// What process_posix.cpp offers the rest of the POSIX platform beside platform.h.
namespace platform {

// The running program's own file, as the kernel names it; empty if unknown.
std::string executablePath();

} // namespace platform
