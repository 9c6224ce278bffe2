#pragma once

#include <cstdint>

namespace ports {

// The port stage's only way to the port library, so that tests can put a
// library of their own in its place. The calls mirror LumtorPorts one to one
// and keep its results: zero is failure (or, for enumerate, no port).
class PortLibrary {
public:
    virtual ~PortLibrary() = default;
    virtual std::int32_t enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) = 0;
    virtual std::int32_t getLocation(const char16_t* portName, std::int32_t* locationQualifier,
                                     std::int32_t* portNumber) = 0;
    virtual std::int32_t setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t selector) = 0;
};

} // namespace ports
