#pragma once

#include <string>

// What the console companion (SkarvelConfig.com, Windows only) needs from the
// system beside platform.h.
namespace platform {

// A library loaded while the program runs, rather than bound at its start.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string& path);
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    // Why it could not be loaded.
    const std::string& failure() const { return failure_; }
    // The address of an exported function, or null.
    void* function(const char* name) const;

private:
    void* handle_ = nullptr;
    std::string failure_;
};

// This process's command line, as the system holds it.
std::string rawCommandLine();

} // namespace platform
