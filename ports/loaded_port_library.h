#pragma once

#include <memory>
#include <string>

#include "platform/loaded_library.h"
#include "ports/lumtor_ports.h"
#include "ports/port_library.h"

namespace ports {

// The port library loaded from a file while the program runs, for looking at
// the ports without the program's binding: its three functions found by name.
class LoadedPortLibrary final : public PortLibrary {
public:
    struct Loading {
        std::unique_ptr<LoadedPortLibrary> library; // null when it could not be loaded
        std::string failure;                        // why: it cannot be loaded, or lacks a function
    };
    static Loading load(const std::string& path);

    std::int32_t enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) override;
    std::int32_t getLocation(const char16_t* portName, std::int32_t* locationQualifier,
                             std::int32_t* portNumber) override;
    std::int32_t setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t selector) override;

private:
    explicit LoadedPortLibrary(const std::string& path) : library_(path) {}

    platform::LoadedLibrary library_;
    decltype(&LumtorPortEnum) enum_ = nullptr;
    decltype(&LumtorPortGetLocation) getLocation_ = nullptr;
    decltype(&LumtorPortTXVR) txvr_ = nullptr;
};

} // namespace ports
