// The unhandled-failure report on Windows: the platform's filter hands over a
// failure it lets the program handle; the program records it as an Error
// event in the Application log, shows it in a task-modal message box where
// anyone can see one, and ends with status 1.

#include <windows.h>

#include <csignal>
#include <cstdint>
#include <string>

#include "platform/failure_report.h"
#include "platform/platform.h"
#include "platform/win32/program_file_win32.h"

namespace platform {

namespace {

constexpr int addressDigits = 2 * sizeof(void*);

// Filled at install time, so that a failure can be reported without allocating.
char programFileName[MAX_PATH + 1] = "SkarvelConfig.exe";

// The module holding `address`: its file name and start, or false.
bool findModule(std::uintptr_t address, char (&name)[MAX_PATH + 1], std::uintptr_t& base) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(address), &module)) {
        return false;
    }
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    const std::string_view fileName = fileNameOf(std::string_view(path, length));
    fileName.copy(name, MAX_PATH);
    name[fileName.size() < MAX_PATH ? fileName.size() : MAX_PATH] = '\0';
    base = reinterpret_cast<std::uintptr_t>(module);
    return true;
}

// Whether anyone can see a box, decided at start: a fault then needs no call
// at all to know it, even with the loader lock or the heap's lock held.
// Unattended (a start-up task as SYSTEM, on an invisible window station) the
// report shows nothing and the program ends with status 1 at once.
bool boxCanBeSeen = false;

bool stationIsVisible() {
    USEROBJECTFLAGS flags{};
    const HWINSTA station = GetProcessWindowStation();
    const bool known =
        station != nullptr && GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) != 0;
    return failureBoxCanBeSeen(known, flags.dwFlags);
}

// Ends the process without running anything more of it: no DLL is told
// (the faulting library's own clean-up could fault or wait again).
[[noreturn]] void endWithFailure() {
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) Sleep(INFINITE);
}

void show(const FailureText& text) {
    char message[FailureText::capacity + 1];
    text.view().copy(message, FailureText::capacity);
    message[text.length] = '\0';
    MessageBoxA(nullptr, message, "Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

// The report where administrators collect events: this run was not done.
void recordEvent(const FailureText& text) noexcept {
    try {
        std::string event = std::string(programFileName) + " ended through its failure report, writing no log:\r\n";
        for (const char c : text.view()) event += c == '\n' ? std::string("\r\n") : std::string(1, c);
        recordRunEvent(RunEvent::notDone, event + "\r\n");
    } catch (...) {
        // Out of memory: the report is shown where it can be, not recorded.
    }
}

// Set by the report thread once it has run, found the module and taken and
// released the heap's lock: from then on a box can be made.
volatile LONG reportReady = 0;

DWORD WINAPI reportFailure(void* failure) {
    const EXCEPTION_RECORD& record = *static_cast<EXCEPTION_POINTERS*>(failure)->ExceptionRecord;
    const auto code = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
    char module[MAX_PATH + 1];
    std::uintptr_t base = 0;
    const bool inModule = findModule(code, module, base);
    FailureText text;
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        AccessFault fault;
        fault.codeAddress = code;
        fault.accessedAddress = static_cast<std::uintptr_t>(record.ExceptionInformation[1]);
        fault.access = record.ExceptionInformation[0] == 0   ? AccessKind::read
                       : record.ExceptionInformation[0] == 1 ? AccessKind::write
                                                              : AccessKind::unknown;
        fault.moduleName = inModule ? module : nullptr;
        fault.moduleBase = base;
        text = formatAccessViolationReport(fault, programFileName, addressDigits);
    } else {
        text = formatExternalExceptionReport(static_cast<std::uint32_t>(record.ExceptionCode), code,
                                             inModule ? module : nullptr, base, programFileName, addressDigits);
    }
    // The event and the box allocate: a heap the faulting thread holds would
    // stop them for good.
    const HANDLE heap = GetProcessHeap();
    HeapLock(heap);
    HeapUnlock(heap);
    InterlockedExchange(&reportReady, 1);
    recordEvent(text);
    if (boxCanBeSeen) show(text);
    return 0;
}

// How long the report thread may take to be ready to show its box: it cannot
// even start while the faulting thread holds the loader lock.
constexpr DWORD readyLimitMilliseconds = 5000;

// How long an unattended report may take to record its event.
constexpr DWORD recordLimitMilliseconds = 10000;

LONG WINAPI onUnhandledFailure(EXCEPTION_POINTERS* pointers) {
    // On a thread of its own: the failing thread's stack may be all but used
    // up (a stack overflow leaves a few kilobytes), and it may hold locks.
    const HANDLE thread = CreateThread(nullptr, 256 * 1024, reportFailure, pointers, 0, nullptr);
    if (thread == nullptr) endWithFailure();
    for (DWORD waited = 0; InterlockedCompareExchange(&reportReady, 0, 0) == 0; waited += 50) {
        if (waited >= readyLimitMilliseconds) endWithFailure();
        if (WaitForSingleObject(thread, 50) == WAIT_OBJECT_0) break;
    }
    // Ready: the box waits for the person who can see it; unattended, only
    // the event is waited for.
    WaitForSingleObject(thread, boxCanBeSeen ? INFINITE : recordLimitMilliseconds);
    endWithFailure();
}

// abort() ends the process quietly on Windows; make it a failure like any other.
void onAbort(int) { RaiseException(0x40000015, EXCEPTION_NONCONTINUABLE, 0, nullptr); }
} // namespace

void installFailureReport() {
    const std::string path = programModulePath();
    const std::string_view name = fileNameOf(path);
    if (!name.empty()) {
        name.copy(programFileName, MAX_PATH);
        programFileName[name.size() < MAX_PATH ? name.size() : MAX_PATH] = '\0';
    }
    // An unattended run must never wait at a "no disk in drive" prompt.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    boxCanBeSeen = stationIsVisible();
    SetUnhandledExceptionFilter(onUnhandledFailure);
    signal(SIGABRT, onAbort);
}

[[gnu::noinline]] void reportEscapedFailure(const char* kindName, const char* message) {
    const auto caller = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    char module[MAX_PATH + 1];
    std::uintptr_t base = 0;
    const bool inModule = findModule(caller, module, base);
    const FailureText text = formatFailureReport(kindName, inModule ? module : programFileName,
                                                 inModule ? caller - base : caller - 0x1000, message, addressDigits);
    recordEvent(text);
    if (boxCanBeSeen) show(text);
    ExitProcess(1);
}

} // namespace platform
