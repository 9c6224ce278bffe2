#pragma once

// What the Linux port library's runs found and did to each port this boot,
// one small file a port under /run (gone at the next boot). A run started
// because one port appeared answers for every other port from these,
// without opening it, so that ports other programs hold keep their DTR, RTS
// and line settings; the administrator's command names each configured
// port's device from them.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ports {

struct PortRecord {
    // The port's location, or none where it had none (no number, say).
    bool located = false;
    std::int32_t qualifier = 1;
    std::int32_t number = 0;
    // The last mode asked of it and whether it was set, with the reason when not.
    bool modeAsked = false;
    std::int32_t modeCode = 0;
    bool set = false;
    std::string refusal;
};

// The record of the port `name` in `folder`, or none (never written, or
// not one this library wrote).
std::optional<PortRecord> readPortRecord(const std::string& folder, const std::string& name);

// Writes the record whole or not at all; a folder that cannot be written
// keeps no record, which only means a later run opens the port again.
void writePortRecord(const std::string& folder, const std::string& name, const PortRecord& record);

// Removes the record, where there is one.
void forgetRecord(const std::string& folder, const std::string& name);

// Every record in `folder`, by port name.
std::vector<std::pair<std::string, PortRecord>> readPortRecords(const std::string& folder);

} // namespace ports
