#pragma once

#include <string>

// What program_file_win32.cpp offers the rest of the Win32 platform beside platform.h.
namespace platform {

// The running program's own file, at most 260 characters.
std::string programModulePath();

} // namespace platform
