#pragma once

// What the program needs from the operating system. One implementation per
// platform is chosen by the build (platform/posix, platform/win32); the logic
// above this line never asks which one it has.

#include <cstddef>
#include <cstdint>
#include <functional>
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

// The file at a path as it was when witnessed, so that a file written there
// afterwards is told apart from it, however alike their bytes and whatever
// the clock says: on POSIX it is held open meanwhile (its inode cannot be
// given to a new file), on Windows its volume and file index are kept (a
// new file on NTFS has another).
class FileWitness {
public:
    explicit FileWitness(const std::string& path);
    ~FileWitness();
    FileWitness(const FileWitness&) = delete;
    FileWitness& operator=(const FileWitness&) = delete;

    // Whether `now`, read from the path since, is that same file with the
    // same bytes; false when there was none.
    bool unchanged(const ReadResult& now) const;

private:
    std::string path_;
    ReadResult before_;
    std::intptr_t handle_ = -1;
    std::uint64_t volume_ = 0;
    std::uint64_t index_ = 0;
};

// A file created for writing, replacing any file of that name, not shared.
class NewFile {
public:
    explicit NewFile(const std::string& path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool isOpen() const;
    bool write(std::string_view bytes);
    // Closes the file and, when it is a plain file (not a device or a pipe),
    // removes it: what a failed write left is no log.
    void discard();

private:
    std::intptr_t handle_;
    std::string path_;
};

// The platform's own words for why the last call failed (Windows' message
// for the last error, the C library's for errno); empty when none is known.
std::string lastErrorText();

// What an event says of a run, each with its level and its own ID, so that
// a query for the source's events tells them apart: clean (information),
// problems (warning), not done (error: the configuration or the log could
// not be used, or the program ended through its failure report), and never
// started (error: the program could not be started at all).
enum class RunEvent { clean, problems, notDone, notStarted };

// Records one run where the platform's administrators collect them: one
// event in Windows' Application log (source "SkarvelConfig"), `text` its
// message. Nothing elsewhere: on Linux the skarvelconfig command shows the
// run in the journal. Never fails the run.
void recordRunEvent(RunEvent event, const std::string& text) noexcept;

// One run at a time drives the ports. A RunLock waits for the run that holds
// it, at most `limitSeconds`, then goes on without it: a hung run must not
// hold every later one. Released when it goes.
class RunLock {
public:
    explicit RunLock(int limitSeconds);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    bool held() const;

private:
    std::intptr_t handle_;
};

// Whether the program takes the run lock for its own run. On Windows it
// does, unless the console companion that started it holds the lock for it;
// on Linux every run comes through the skarvelconfig command, which holds it.
bool programTakesRunLock();

// The file name of the program that does the job (SkarvelConfig.exe),
// beside whatever program of the package asks.
std::string jobProgramFileName();

// A program started and waited for: whether it started, its exit status,
// whether it said it wrote its log (tellLogWritten) and recorded its run's
// event (Windows only), or why it
// could not be started: by the system, or by its loader, which ends it
// before its first instruction where a library it imports is missing or
// lacks a function (Windows).
struct ProgramRun {
    bool started = false;
    int status = 0;
    bool toldLogWritten = false;
    bool toldEventRecorded = false;
    bool refusedByLoader = false;
    std::string failure;
};

// Starts `program` with `parameters` and waits for it to end. On Windows it
// is given this process's own command line after its name instead, byte for
// byte, which `parameters` were split from, and is told that the caller holds
// the run lock for it.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& parameters);

// Tells the console companion that started this program, if one did, that
// the log is written: on Windows, where a file put in the old one's place
// cannot always be told apart from it (its index is reused on FAT, and
// under Wine). Nothing elsewhere.
void tellLogWritten() noexcept;

// Why no log can be written at `path` now, in the platform's words (empty
// when nothing stands in the way), and whether it is because access is
// denied. Nothing at `path` is changed.
struct WriteRefusal {
    std::string reason;
    bool accessDenied = false;
};
WriteRefusal whyNotWritable(const std::string& path);

// Text for a person: 8-bit text in the system's code page, or UTF-16 (port
// names). A console is given it so that it shows it right; a file or a pipe
// gets the 8-bit bytes as they are (UTF-16 in the system's code page).
void printText(std::string_view text);
void printText(std::u16string_view text);

// Whether standard output (1) or error (2) is the journal's stream, which
// reads a "<N>" at the start of a line as the line's priority.
bool streamIsJournal(int stream);

// A program's whole main: the unhandled-failure report installed, then
// `body`, whose status it returns; memory exhaustion that escapes it is
// reported like any other failure (status 1).
int guardedMain(const std::function<int()>& body);

// Arranges for a fault that escapes the run to end the process through the
// program's unhandled-failure report.
void installFailureReport();

// Reports memory exhaustion (or another failure that escaped the run) and
// ends the process with status 1. `kindName` and `message` describe it.
[[noreturn]] void reportEscapedFailure(const char* kindName, const char* message);

} // namespace platform
