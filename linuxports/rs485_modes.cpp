#include "linuxports/rs485_modes.h"

#include <cstdio>

#include "ports/lumtor_ports.h"

namespace linuxports {

KernelGeneration generationOfRelease(const std::string& release) {
    int major = 0, minor = 0;
    if (std::sscanf(release.c_str(), "%d.%d", &major, &minor) != 2) return KernelGeneration::unfiltered;
    return major >= 6 ? KernelGeneration::filtering : KernelGeneration::unfiltered;
}

std::optional<std::uint32_t> rs485FlagsForMode(std::int32_t modeCode) {
    switch (modeCode) {
    case modeCodeRs232: return 0;
    case modeCodeRs422: return SER_RS485_ENABLED | modeRs422Flag;
    case modeCodeRs485FourWire: return SER_RS485_ENABLED | SER_RS485_RX_DURING_TX;
    case modeCodeRs485TwoWire: return SER_RS485_ENABLED;
    default: return std::nullopt;
    }
}

bool kernelConfirms(std::uint32_t wanted, std::optional<bool> termination, KernelGeneration generation) {
    // RS-485 on or off is what every driver with RS-485 support does; the
    // rest only a filtering serial core can confirm.
    if (generation == KernelGeneration::filtering) return true;
    const bool terminating = wanted != 0 && termination.value_or(false);
    return !(wanted & (modeRs422Flag | SER_RS485_RX_DURING_TX)) && !terminating;
}

bool inMode(const serial_rs485& current, std::uint32_t wanted, std::optional<bool> termination) {
    // RS-232 is RS-485 off, whatever details the port keeps for later.
    if (wanted == 0) return !(current.flags & SER_RS485_ENABLED);
    if (termination && !(current.flags & SER_RS485_TERMINATE_BUS) == *termination) return false;
    return (current.flags & modeFlags) == wanted;
}

serial_rs485 requestFor(const serial_rs485& current, std::uint32_t wanted, std::optional<bool> termination) {
    serial_rs485 request = current;
    request.flags = (current.flags & ~modeFlags) | wanted;
    if (wanted != 0 && termination) {
        request.flags = *termination ? request.flags | SER_RS485_TERMINATE_BUS : request.flags & ~SER_RS485_TERMINATE_BUS;
    }
    return request;
}

bool sameSettings(const serial_rs485& a, const serial_rs485& b) {
    return a.flags == b.flags && a.delay_rts_before_send == b.delay_rts_before_send &&
           a.delay_rts_after_send == b.delay_rts_after_send && a.addr_recv == b.addr_recv && a.addr_dest == b.addr_dest;
}

bool keptAsRequested(const serial_rs485& request, const serial_rs485& held) {
    // Off is off: from 6.0 the core forgets the details, and a driver may set
    // an RTS flag again for the next time (the 8250's on 6.1).
    if (!(request.flags & SER_RS485_ENABLED)) return !(held.flags & SER_RS485_ENABLED);
    serial_rs485 expected = request;
    if (request.flags & modeRs422Flag) {
        // RS-422 has no direction to switch: only termination stays.
        expected.flags &= SER_RS485_ENABLED | modeRs422Flag | SER_RS485_TERMINATE_BUS;
    }
    std::uint32_t compared = ~0u;
    // A port that held no valid RTS polarity (both or neither) has none to
    // keep: the kernel picks one, and any is taken.
    if (!(request.flags & modeRs422Flag) &&
        !(request.flags & SER_RS485_RTS_ON_SEND) == !(request.flags & SER_RS485_RTS_AFTER_SEND)) {
        compared &= ~rtsFlags;
    }
    return (held.flags & compared) == (expected.flags & compared) &&
           held.delay_rts_before_send == expected.delay_rts_before_send &&
           held.delay_rts_after_send == expected.delay_rts_after_send && held.addr_recv == expected.addr_recv &&
           held.addr_dest == expected.addr_dest;
}

} // namespace linuxports
