#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// What files_posix.cpp offers beside platform.h.
namespace platform {

// readWholeFile with the largest size it takes given: a larger file is out
// of memory, without being read.
ReadResult readWholeFileUpTo(const std::string& path, std::int64_t maxReadableSize);

} // namespace platform
