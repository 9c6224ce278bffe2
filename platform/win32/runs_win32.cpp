#include <windows.h>

#include <optional>
#include <string>

#include "platform/command_line_split.h"
#include "platform/platform.h"
#include "platform/win32/runs_win32.h"

namespace platform {

namespace {

HANDLE handleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// The object that tells a program started by the console companion that the
// companion holds the run lock for it: named after the program's process.
std::string grantName(DWORD processId) { return "SkarvelConfig.RunFor." + std::to_string(processId); }

// The objects the program signals once its log is written, and once its
// run's event is recorded.
std::string logWrittenName(DWORD processId) { return "SkarvelConfig.LogWrittenBy." + std::to_string(processId); }
std::string eventRecordedName(DWORD processId) {
    return "SkarvelConfig.EventRecordedBy." + std::to_string(processId);
}

void signal(const std::string& name) noexcept {
    const HANDLE object = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
    if (!object) return;
    SetEvent(object);
    CloseHandle(object);
}

bool signalled(HANDLE object) { return object && WaitForSingleObject(object, 0) == WAIT_OBJECT_0; }

// The lock for every session: the start-up task's run and an administrator's.
HANDLE openRunMutex() {
    // Anyone may wait for it: a standard user's run and the task's alike.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    if (const HANDLE global = CreateMutexA(&attributes, FALSE, "Global\\SkarvelConfig.Run")) return global;
    // Only a process with the right to create global objects makes it where
    // none exists (no other session runs now): this session's then.
    return CreateMutexA(&attributes, FALSE, "SkarvelConfig.Run");
}

// A start that failed for a passing reason (a scanner still holding a file
// just installed, resources short at boot, a loader that died before the
// program's first instruction): the program has not run, so trying again
// changes nothing else.
bool startMayWorkLater(DWORD error) {
    switch (error) {
    case ERROR_INTERNAL_ERROR:
    case ERROR_SHARING_VIOLATION:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_COMMITMENT_LIMIT: return true;
    default: return false;
    }
}

// Why Windows' loader ended a program before its first instruction, from
// the status it ended it with; nothing for any other status.
std::optional<std::string> loaderRefusal(DWORD status) {
    switch (status) {
    case 0xC0000135: return "a library it imports was not found beside it or in the system's folders";
    case 0xC0000139: return "a library it imports lacks a function it needs";
    case 0xC000007B: return "a library it imports is not one it can load (built for another Windows, or damaged)";
    case 0xC0000142: return "a library it imports failed to start";
    default: return std::nullopt;
    }
}

} // namespace

RunLock::RunLock(int limitSeconds) : handle_(0) {
    const HANDLE mutex = openRunMutex();
    if (!mutex) return;
    const DWORD waited = WaitForSingleObject(mutex, static_cast<DWORD>(limitSeconds) * 1000);
    // An abandoned lock is a run that ended without releasing it: taken.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        handle_ = reinterpret_cast<std::intptr_t>(mutex);
    } else {
        CloseHandle(mutex);
    }
}

RunLock::~RunLock() {
    if (!held()) return;
    ReleaseMutex(handleOf(handle_));
    CloseHandle(handleOf(handle_));
}

bool RunLock::held() const { return handle_ != 0; }

bool programTakesRunLock() {
    const HANDLE grant = OpenEventA(SYNCHRONIZE, FALSE, grantName(GetCurrentProcessId()).c_str());
    if (!grant) return true;
    CloseHandle(grant);
    return false;
}

void tellLogWritten() noexcept { signal(logWrittenName(GetCurrentProcessId())); }

void tellEventRecorded() noexcept { signal(eventRecordedName(GetCurrentProcessId())); }

std::string jobProgramFileName() { return "SkarvelConfig.exe"; }

ProgramRun runProgram(const std::string& program, const std::vector<std::string>&) {
    ProgramRun run;
    std::string commandLine = "\"" + program + "\"";
    commandLine.append(commandLineTail(GetCommandLineA()));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Started suspended, so that it learns it holds the lock before it looks.
    for (int attempt = 1; !CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                          CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
         ++attempt) {
        if (attempt == 3 || !startMayWorkLater(GetLastError())) {
            run.failure = lastErrorText();
            return run;
        }
        Sleep(1000);
    }
    const HANDLE grant = CreateEventA(nullptr, TRUE, TRUE, grantName(process.dwProcessId).c_str());
    const HANDLE written = CreateEventA(nullptr, TRUE, FALSE, logWrittenName(process.dwProcessId).c_str());
    const HANDLE recorded = CreateEventA(nullptr, TRUE, FALSE, eventRecordedName(process.dwProcessId).c_str());
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    if (grant) CloseHandle(grant);
    run.toldLogWritten = signalled(written);
    run.toldEventRecorded = signalled(recorded);
    for (const HANDLE object : {written, recorded}) {
        if (object) CloseHandle(object);
    }
    if (const std::optional<std::string> refusal = loaderRefusal(exitCode)) {
        run.refusedByLoader = true;
        run.failure = *refusal;
        return run;
    }
    run.started = true;
    run.status = static_cast<int>(exitCode);
    return run;
}

WriteRefusal whyNotWritable(const std::string& path) {
    // An existing file is opened for writing and left as it is; a new one is
    // made and goes again when closed: the answer without a trace.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return {};
    }
    const bool denied = GetLastError() == ERROR_ACCESS_DENIED;
    return {lastErrorText(), denied};
}

} // namespace platform
