#include "linuxports/port_listing.h"

#include <vector>

#include "config/port_list.h"
#include "linuxports/linux_port_library.h"

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

} // namespace

std::string listPorts(SerialPorts& ports, const std::string& configPath) {
    PortListLayout layout{{"DEVICE", 10}, {"PORT", 6}, {"RS-485", 8}, {{"MODE", 12}, {"RTS", 6}, {"DELAYS", 8}}, {}};
    layout.addedCells = [&](const PlannedPort& port) {
        serial_rs485 settings{};
        if (!ports.settingsOf(std::string(port.name.begin(), port.name.end()), settings)) {
            return std::vector<std::string>{};
        }
        return std::vector<std::string>{
            modeHeld(settings), polarity(settings),
            std::to_string(settings.delay_rts_before_send) + "/" + std::to_string(settings.delay_rts_after_send)};
    };
    LinuxPortLibrary calls(ports);
    const PortList list = ::listPorts(calls, configPath, layout);
    // The library gives the device names, which are ASCII, one byte to a unit.
    return std::string(list.table.begin(), list.table.end()) + list.note;
}

} // namespace linuxports
