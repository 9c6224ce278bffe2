#include "linuxports/port_listing.h"

#include <vector>

#include "config/configuration.h"
#include "linuxports/linux_port_library.h"
#include "ports/dry_run.h"

namespace linuxports {

namespace {

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
    const ModePlan plan = planModes(calls, table);

    std::string out;
    addRow(out, {"DEVICE", "PORT", "RS-485", "MODE", "RTS", "DELAYS", "CONFIGURATION"});
    for (const PlannedPort& port : plan.ports) {
        const std::string name(port.name.begin(), port.name.end());
        if (!port.located) {
            addRow(out, {name, "-", "unusable", "-", "-", "-", "-"});
            continue;
        }
        const bool configurable = port.locationQualifier == 0;
        std::vector<std::string> row{name, std::to_string(port.portNumber), configurable ? "yes" : "no", "-", "-", "-"};
        serial_rs485 settings{};
        if (configurable && ports.settingsOf(name, settings)) {
            row[3] = modeHeld(settings);
            row[4] = polarity(settings);
            row[5] = std::to_string(settings.delay_rts_before_send) + "/" + std::to_string(settings.delay_rts_after_send);
        }
        row.push_back(port.entry ? "line " + std::to_string(entryLines[*port.entry]) + ": " +
                                       std::string(modeKeyword(table[*port.entry].modeCode))
                                 : "-");
        addRow(out, row);
    }
    if (!configured) out += "(" + configPath + " cannot be read: no configuration applies)\n";
    return out;
}

} // namespace linuxports
