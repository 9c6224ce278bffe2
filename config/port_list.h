#pragma once

// What "--list" shows, on both systems: each port the library sees, in its
// order, with its number, whether it is configurable, the columns the system
// adds, and the configuration line a run would apply to it; then each
// configured port that no port would take. Found by the program's own port
// stage (planModes): no port is changed.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/mode_plan.h"
#include "ports/mode_table.h"
#include "ports/port_library.h"

namespace config {

struct ListColumn {
    std::string_view header;
    std::size_t width; // at least one blank follows a longer cell
};

struct PortListLayout {
    ListColumn name, number, configurable;
    // Between "configurable" and the configuration line.
    std::vector<ListColumn> added;
    // The added cells of a configurable port, or none for "-" in each.
    std::function<std::vector<std::string>(const ports::PlannedPort&)> addedCells;
};

// The list of a plan, the names whole (UTF-16, control characters as "?");
// `entryLines` holds each entry's configuration line number.
std::u16string formatPortList(const ports::ModePlan& plan, const ports::ModeTable& table,
                              const std::vector<std::size_t>& entryLines, const PortListLayout& layout);

struct PortList {
    std::u16string table;
    // Empty, or the line that says the configuration could not be read (in
    // the system's 8-bit text, as the path is).
    std::string note;
};

// The list of what a run with the configuration at `configPath` would do.
PortList portList(ports::PortLibrary& library, const std::string& configPath, const PortListLayout& layout);

} // namespace config
