#pragma once

// The three LumtorPorts calls over a SerialPorts: names handed over as
// UTF-16, results as the program reads them. The exported functions of
// libLumtorPort.so are these calls on the machine's own ports; tests make the
// same calls on made-up ones.

#include <functional>
#include <string_view>

#include "linuxports/serial_ports.h"
#include "ports/port_library.h"

namespace linuxports {

// Standard error, at warning priority where it is the journal: where each
// refused mode change is said ("ttyS3: RS-422 not set: the driver refused it:
// Invalid argument"), as the log only says which port number failed.
void reportOnStandardError(std::string_view line);

class LinuxPortLibrary final : public ports::PortLibrary {
public:
    explicit LinuxPortLibrary(SerialPorts& ports, Report report = {})
        : ports_(ports), report_(std::move(report)) {}

    std::int32_t enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) override;
    std::int32_t getLocation(const char16_t* portName, std::int32_t* locationQualifier,
                             std::int32_t* portNumber) override;
    std::int32_t setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t selector) override;

private:
    SerialPorts& ports_;
    Report report_;
};

} // namespace linuxports
