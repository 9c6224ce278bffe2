#pragma once

// What the program needs from the operating system. One implementation per
// platform is chosen by the build (platform/posix, platform/win32); the logic
// above this line never asks which one it has.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct LocalDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalDateTime localNow();

// The directory of the running program's own file, ending in the platform's
// directory delimiter.
std::string programDir();

// The command-line parameters after the program's name, in order.
std::vector<std::string> commandLineParameters(int argc, char** argv);

// True where the program has a console to answer "--help" and "--version" on.
bool answersHelpAndVersion();

// True where absolute paths begin with "/", so that such a parameter may name
// a file rather than an option.
bool slashMayStartPath();

// True when a file-system search for `pattern` ("*" and "?" are wildcards)
// finds, as its first match, an entry that is not a directory.
bool firstMatchIsFile(const std::string& pattern);

// Deletes the file; whatever happens is of no interest to the caller. Only
// what Windows would delete goes: a file, or a link itself, never a device
// or a pipe.
void deleteFile(const std::string& path);

// True when both paths name one existing file, however they are spelt
// (device and inode; volume and file index on Windows).
bool sameFile(const std::string& first, const std::string& second);

enum class ReadStatus { ok, cannotOpen, outOfMemory };

struct ReadResult {
    ReadStatus status = ReadStatus::cannotOpen;
    std::string bytes;
};

// Reads a whole regular file; others may read it meanwhile but not write it
// where the platform can enforce that.
ReadResult readWholeFile(const std::string& path);

// A file created for writing, replacing any file of that name, not shared.
class NewFile {
public:
    explicit NewFile(const std::string& path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool isOpen() const;
    bool write(std::string_view bytes);

private:
    std::intptr_t handle_;
};

// The platform's own words for why the last call failed (Windows' message
// for the last error, the C library's for errno); empty when none is known.
std::string lastErrorText();

enum class RunOutcome {
    clean,    // the log holds its two header lines only
    problems, // it names an unusable configuration line or a port
    failed,   // the configuration could not be read, or the log not written
};

// Records one run's outcome where the platform's administrators collect
// them: one event in Windows' Application log (source "SkarvelConfig"),
// `text` its message. Nothing elsewhere: on Linux the unit shows the log in
// the journal. Never fails the run.
void recordRunOutcome(RunOutcome outcome, const std::string& text) noexcept;

// Arranges for a fault that escapes the run to end the process through the
// program's unhandled-failure report.
void installFailureReport();

// Reports memory exhaustion (or another failure that escaped the run) and
// ends the process with status 1. `kindName` and `message` describe it.
[[noreturn]] void reportEscapedFailure(const char* kindName, const char* message);

} // namespace platform
