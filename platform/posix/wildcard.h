#pragma once

#include <string_view>

namespace platform {

// Whether `name` matches `pattern`, where "*" stands for any run of bytes and
// "?" for any one byte; every other byte stands for itself.
bool wildcardMatch(std::string_view pattern, std::string_view name);

} // namespace platform
