#include "ports/dry_run.h"

#include "ports/port_stage.h"

namespace {

// Passes enumeration and location through and notes, instead of making, the
// mode change. The stage asks for each port's location once, in order, and
// sets its mode right after.
class DryRun final : public PortLibrary {
public:
    DryRun(PortLibrary& library, const ModeTable& table) : library_(library), table_(table) {}

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
    std::int32_t setMode(const char16_t*, std::int32_t* modeCode, std::int32_t) override {
        for (std::size_t entry = 0; entry < table_.size(); ++entry) {
            if (&table_[entry].modeCode == modeCode) ports.back().entry = entry;
        }
        return 1;
    }

    std::vector<PlannedPort> ports;

private:
    PortLibrary& library_;
    const ModeTable& table_;
};

} // namespace

ModePlan planModes(PortLibrary& library, const ModeTable& table) {
    ModeTable copy = table;
    DryRun dry(library, copy);
    RunLog ignored;
    applyModes(dry, enumeratePorts(dry), copy, ignored);

    ModePlan plan{std::move(dry.ports), {}};
    std::vector<bool> taken(table.size(), false);
    for (const PlannedPort& port : plan.ports) {
        if (port.entry) taken[*port.entry] = true;
    }
    for (std::size_t entry = 0; entry < table.size(); ++entry) {
        if (!taken[entry]) plan.entriesUntaken.push_back(entry);
    }
    return plan;
}
