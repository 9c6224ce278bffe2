#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/run_log.h"
#include "ports/lumtor_ports.h"
#include "ports/mode_table.h"
#include "ports/port_library.h"

namespace ports {

using PortNameList = std::vector<std::u16string>;

// Every port the library knows, in its order, until its first zero result.
PortNameList enumeratePorts(PortLibrary& library);

// Switches every configurable port that has an entry to the entry's mode and
// reports refused changes, configurable ports without an entry, and then the
// entries that no port took.
void applyModes(PortLibrary& library, const PortNameList& portNames, ModeTable& modeTable, base::RunLog& log);

// What a line of the port stage reports, and of which port number.
enum class PortReport { withoutMode, notSet, notFound };
struct ReportedPort {
    PortReport report;
    std::int32_t number;
};
std::optional<ReportedPort> reportedPort(std::string_view line);

// Whether a log line reports a configurable port that no entry is for: a port
// the configuration leaves alone.
bool reportsPortWithoutMode(std::string_view line);

} // namespace ports
