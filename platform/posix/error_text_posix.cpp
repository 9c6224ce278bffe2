#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace platform {

std::string lastErrorText() { return errno != 0 ? std::strerror(errno) : std::string(); }

} // namespace platform
