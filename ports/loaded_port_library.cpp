#include "ports/loaded_port_library.h"

namespace ports {

LoadedPortLibrary::Loading LoadedPortLibrary::load(const std::string& path) {
    std::unique_ptr<LoadedPortLibrary> library(new LoadedPortLibrary(path));
    if (!library->library_.isLoaded()) return {nullptr, path + " cannot be loaded: " + library->library_.failure()};
    std::string failure;
    const auto find = [&](const char* name, auto& function) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library->library_.function(name));
        if (!function && failure.empty()) failure = path + " lacks " + name;
    };
    find(lumtorFunctionNames[0], library->enum_);
    find(lumtorFunctionNames[1], library->getLocation_);
    find(lumtorFunctionNames[2], library->txvr_);
    if (!failure.empty()) return {nullptr, failure};
    return {std::move(library), {}};
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

} // namespace ports
