#pragma once

// What a run would do with a mode table, found by the program's own port
// stage over a port library with every mode change noted instead of made.
// Only enumeration and location reach the library.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ports/mode_table.h"
#include "ports/port_library.h"

namespace ports {

struct PlannedPort {
    std::u16string name;
    bool located = false; // the library gave its location
    std::int32_t locationQualifier = 0;
    std::int32_t portNumber = 0;
    std::optional<std::size_t> entry; // the mode-table entry a run would apply
};

struct ModePlan {
    std::vector<PlannedPort> ports;          // in the library's order
    std::vector<std::size_t> entriesUntaken; // the entries a run would report as not found
};

ModePlan planModes(PortLibrary& library, const ModeTable& table);

} // namespace ports
