#pragma once

#include <string>
#include <string_view>

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

// Starts `program` with `commandLineTail` after its quoted path, as typed,
// and waits for it to end: true with its exit status, or false with
// `failure` saying why it could not be started.
bool runAndWait(const std::string& program, std::string_view commandLineTail, int& status, std::string& failure);

// Why no file can be created at `path` now, in Windows' words (empty when one
// can), and whether it is because access is denied. Nothing is left behind.
struct WriteRefusal {
    std::string reason;
    bool accessDenied = false;
};
WriteRefusal whyNotWritable(const std::string& path);

} // namespace platform
