#pragma once

#include "ports/port_library.h"

namespace ports {

// The port library the program was linked against, bound by name when it is
// loaded: the calls go straight to the three functions of lumtor_ports.h.
class LinkedPortLibrary final : public PortLibrary {
public:
    std::int32_t enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) override;
    std::int32_t getLocation(const char16_t* portName, std::int32_t* locationQualifier,
                             std::int32_t* portNumber) override;
    std::int32_t setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t selector) override;
};

} // namespace ports
