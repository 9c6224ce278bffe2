#include "linuxports/port_listing.h"

#include <map>
#include <vector>

#include "config/configuration.h"
#include "linuxports/linux_port_library.h"
#include "ports/lumtor_ports.h"
#include "ports/port_stage.h"

namespace linuxports {

namespace {

// The program's port stage over the library's calls, with every mode change
// noted instead of made: which entry each port would take.
class DryRun final : public PortLibrary {
public:
    DryRun(PortLibrary& calls, const ModeTable& table) : calls_(calls), table_(table) {}

    std::int32_t enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) override {
        return calls_.enumerate(index, nameBuffer, bufferLength);
    }
    std::int32_t getLocation(const char16_t* portName, std::int32_t* qualifier, std::int32_t* number) override {
        const std::int32_t found = calls_.getLocation(portName, qualifier, number);
        if (found) located[portName] = {*qualifier, *number};
        return found;
    }
    std::int32_t setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t) override {
        for (std::size_t entry = 0; entry < table_.size(); ++entry) {
            if (&table_[entry].modeCode == modeCode) taken[portName] = entry;
        }
        return 1;
    }

    std::map<std::u16string, std::pair<std::int32_t, std::int32_t>> located;
    std::map<std::u16string, std::size_t> taken;

private:
    PortLibrary& calls_;
    const ModeTable& table_;
};

const char* keywordOf(std::int32_t modeCode) {
    switch (modeCode) {
    case modeCodeRs232: return "RS232";
    case modeCodeRs422: return "RS422";
    case modeCodeRs485FourWire: return "RS485-4W";
    default: return "RS485";
    }
}

// The mode as the configuration names it, or "RS-485 off" / "other".
std::string modeHeld(const serial_rs485& settings) {
    if (!(settings.flags & SER_RS485_ENABLED)) return "RS-485 off";
    switch (settings.flags & modeFlags) {
    case SER_RS485_ENABLED: return "RS485";
    case SER_RS485_ENABLED | SER_RS485_RX_DURING_TX: return "RS485-4W";
    case SER_RS485_ENABLED | modeRs422Flag: return "RS422";
    default: return "other";
    }
}

std::string polarity(const serial_rs485& settings) {
    const bool onSend = settings.flags & SER_RS485_RTS_ON_SEND, afterSend = settings.flags & SER_RS485_RTS_AFTER_SEND;
    return onSend == afterSend ? "none" : onSend ? "high" : "low";
}

void addRow(std::string& out, const std::vector<std::string>& cells) {
    static constexpr std::size_t widths[] = {10, 6, 8, 12, 6, 8};
    for (std::size_t i = 0; i < cells.size(); ++i) {
        out += cells[i];
        if (i + 1 < cells.size()) out.append(cells[i].size() < widths[i] ? widths[i] - cells[i].size() : 1, ' ');
    }
    out += '\n';
}

} // namespace

std::string listPorts(SerialPorts& ports, const std::string& configPath) {
    RunLog ignored;
    ModeTable table;
    std::vector<std::size_t> entryLines;
    const bool configured = loadConfiguration(configPath, ignored, table, &entryLines);

    LinuxPortLibrary calls(ports);
    DryRun dry(calls, table);
    const PortNameList names = enumeratePorts(dry);
    applyModes(dry, names, table, ignored);

    std::string out;
    addRow(out, {"DEVICE", "PORT", "RS-485", "MODE", "RTS", "DELAYS", "CONFIGURATION"});
    for (const std::u16string& wide : names) {
        const std::string name(wide.begin(), wide.end());
        const auto location = dry.located.find(wide);
        if (location == dry.located.end()) {
            addRow(out, {name, "-", "unusable", "-", "-", "-", "-"});
            continue;
        }
        const auto [qualifier, number] = location->second;
        std::vector<std::string> row{name, std::to_string(number), qualifier == 0 ? "yes" : "no", "-", "-", "-"};
        serial_rs485 settings{};
        if (qualifier == 0 && ports.settingsOf(name, settings)) {
            row[3] = modeHeld(settings);
            row[4] = polarity(settings);
            row[5] = std::to_string(settings.delay_rts_before_send) + "/" + std::to_string(settings.delay_rts_after_send);
        }
        const auto entry = dry.taken.find(wide);
        row.push_back(entry == dry.taken.end() ? "-"
                                               : "line " + std::to_string(entryLines[entry->second]) + ": " +
                                                     keywordOf(table[entry->second].modeCode));
        addRow(out, row);
    }
    if (!configured) out += "(" + configPath + " cannot be read: no configuration applies)\n";
    return out;
}

} // namespace linuxports
