#include "linuxports/linux_port_list.h"

#include <vector>

#include "config/configuration.h"
#include "config/port_list.h"
#include "linuxports/linux_port_library.h"
#include "ports/lumtor_ports.h"

namespace linuxports {

namespace {

// The mode as the configuration names it, or "RS-485 off" / "other".
std::string modeHeld(const serial_rs485& settings) {
    if (!(settings.flags & SER_RS485_ENABLED)) return "RS-485 off";
    for (const std::int32_t modeCode : {modeCodeRs422, modeCodeRs485FourWire, modeCodeRs485TwoWire}) {
        if ((settings.flags & modeFlags) == rs485FlagsForMode(modeCode)) {
            return std::string(config::modeKeyword(modeCode));
        }
    }
    return "other";
}

std::string polarity(const serial_rs485& settings) {
    const bool onSend = settings.flags & SER_RS485_RTS_ON_SEND, afterSend = settings.flags & SER_RS485_RTS_AFTER_SEND;
    return onSend == afterSend ? "none" : onSend ? "high" : "low";
}

// Bus termination: on while RS-485 is on with it (where a flag the driver
// keeps without a line means nothing: none), off where the device tree
// describes a line, none otherwise.
std::string termination(const serial_rs485& settings, const PortFacts& facts) {
    const bool meaningful = facts.terminationLine || !traitsOf(facts.driver).keepsTerminationWithoutLine;
    const bool terminated = (settings.flags & SER_RS485_ENABLED) && (settings.flags & SER_RS485_TERMINATE_BUS);
    return terminated && meaningful ? "on" : facts.terminationLine ? "off" : "none";
}

} // namespace

std::string linuxPortList(SerialPorts& ports, const std::string& configPath) {
    config::PortListLayout layout{{"DEVICE", 10},
                                  {"PORT", 6},
                                  {"RS-485", 8},
                                  {{"MODE", 12}, {"RTS", 6}, {"DELAYS", 8}, {"TERM", 6}},
                                  {}};
    layout.addedCells = [&](const ports::PlannedPort& port) {
        const std::string name(port.name.begin(), port.name.end());
        const std::optional<serial_rs485> settings = ports.settingsOf(name);
        if (!settings) return std::vector<std::string>{};
        return std::vector<std::string>{
            modeHeld(*settings), polarity(*settings),
            std::to_string(settings->delay_rts_before_send) + "/" + std::to_string(settings->delay_rts_after_send),
            termination(*settings, ports.factsOf(name))};
    };
    LinuxPortLibrary calls(ports);
    const config::PortList list = config::portList(calls, configPath, layout);
    ports.closeHeld();
    // The library gives the device names, which are ASCII, one byte to a unit.
    return std::string(list.table.begin(), list.table.end()) + list.note;
}

} // namespace linuxports
