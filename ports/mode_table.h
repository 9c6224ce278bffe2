#pragma once

#include <cstdint>
#include <vector>

namespace ports {

// One accepted configuration line: a port number and the mode code it asks
// for (one of the library's, see lumtor_ports.h).
struct ModeEntry {
    std::int32_t portNumber = 0;
    std::int32_t modeCode = 0;
};

// The configuration's entries in file order; what the port stage applies.
using ModeTable = std::vector<ModeEntry>;

} // namespace ports
