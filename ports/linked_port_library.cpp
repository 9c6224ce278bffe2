#include "ports/linked_port_library.h"

#include "ports/lumtor_ports.h"

namespace ports {

std::int32_t LinkedPortLibrary::enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) {
    return LumtorPortEnum(index, nameBuffer, bufferLength);
}

std::int32_t LinkedPortLibrary::getLocation(const char16_t* portName, std::int32_t* locationQualifier,
                                            std::int32_t* portNumber) {
    return LumtorPortGetLocation(portName, locationQualifier, portNumber);
}

std::int32_t LinkedPortLibrary::setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t selector) {
    return LumtorPortTXVR(portName, modeCode, selector);
}

} // namespace ports
