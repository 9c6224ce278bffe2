#include "ports/loaded_port_library.h"

std::unique_ptr<LoadedPortLibrary> LoadedPortLibrary::load(const std::string& path, std::string& failure) {
    std::unique_ptr<LoadedPortLibrary> library(new LoadedPortLibrary(path));
    if (!library->library_.isLoaded()) {
        failure = path + " cannot be loaded: " + library->library_.failure();
        return nullptr;
    }
    const auto find = [&](const char* name, auto& function) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library->library_.function(name));
        if (!function && failure.empty()) failure = path + " lacks " + name;
    };
    find("LumtorPortEnum", library->enum_);
    find("LumtorPortGetLocation", library->getLocation_);
    find("LumtorPortTXVR", library->txvr_);
    if (!failure.empty()) return nullptr;
    return library;
}

std::int32_t LoadedPortLibrary::enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) {
    return enum_(index, nameBuffer, bufferLength);
}

std::int32_t LoadedPortLibrary::getLocation(const char16_t* portName, std::int32_t* locationQualifier,
                                            std::int32_t* portNumber) {
    return getLocation_(portName, locationQualifier, portNumber);
}

std::int32_t LoadedPortLibrary::setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t selector) {
    return txvr_(portName, modeCode, selector);
}
