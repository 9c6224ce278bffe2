#include "ports/mode_plan.h"

#include <limits>

#include "ports/port_stage.h"

namespace ports {

namespace {

// Passes enumeration and location through and notes, instead of making, the
// mode change. The stage asks for each port's location once, in order, and
// sets its mode right after; it hands over the mode code of the entry it
// applies, which in the plan's own table is that entry's index.
class PlanningLibrary final : public PortLibrary {
public:
    explicit PlanningLibrary(PortLibrary& library) : library_(library) {}

    std::int32_t enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) override {
        return library_.enumerate(index, nameBuffer, bufferLength);
    }
    std::int32_t getLocation(const char16_t* portName, std::int32_t* qualifier, std::int32_t* number) override {
        const std::int32_t found = library_.getLocation(portName, qualifier, number);
        PlannedPort port;
        port.name = portName;
        if (found) {
            port.located = true;
            port.locationQualifier = *qualifier;
            port.portNumber = *number;
        }
        ports.push_back(std::move(port));
        return found;
    }
    std::int32_t setMode(const char16_t*, std::int32_t* entryIndex, std::int32_t) override {
        ports.back().entry = static_cast<std::size_t>(*entryIndex);
        return 1;
    }

    std::vector<PlannedPort> ports;

private:
    PortLibrary& library_;
};

} // namespace

ModePlan planModes(PortLibrary& library, const ModeTable& table) {
    // The port numbers as they are, each mode code its entry's index (a file
    // the program reads holds far fewer entries than a code can number).
    ModeTable indexed;
    indexed.reserve(table.size());
    for (std::size_t entry = 0; entry < table.size() && entry <= std::numeric_limits<std::int32_t>::max(); ++entry) {
        indexed.push_back(ModeEntry{table[entry].portNumber, static_cast<std::int32_t>(entry)});
    }
    PlanningLibrary planning(library);
    base::RunLog ignored;
    applyModes(planning, enumeratePorts(planning), indexed, ignored);

    ModePlan plan{std::move(planning.ports), {}};
    std::vector<bool> taken(table.size(), false);
    for (const PlannedPort& port : plan.ports) {
        if (port.entry) taken[*port.entry] = true;
    }
    for (std::size_t entry = 0; entry < table.size(); ++entry) {
        if (!taken[entry]) plan.entriesUntaken.push_back(entry);
    }
    return plan;
}

} // namespace ports
