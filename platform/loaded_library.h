#pragma once

#include <string>

namespace platform {

// A library loaded while the program runs, rather than bound at its start
// (LoadLibrary on Windows, dlopen elsewhere).
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

} // namespace platform
