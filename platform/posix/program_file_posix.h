#pragma once

#include <cstddef>
#include <string>

// What program_file_posix.cpp offers the rest of the POSIX platform beside platform.h.
namespace platform {

// The running program's own file, as the kernel names it; empty if unknown.
std::string executablePath();

// The whole target of a symbolic link, read into a buffer of
// `firstBufferSize` bytes first and a larger one while it fills it; empty if
// it cannot be read.
std::string linkTarget(const std::string& link, std::size_t firstBufferSize);

} // namespace platform
