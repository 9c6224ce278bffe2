#pragma once

#include <string>

namespace platform {

// The running program's own file, at most 260 characters.
std::string programModulePath();

} // namespace platform
