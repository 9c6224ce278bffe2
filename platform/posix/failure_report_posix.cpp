// The unhandled-failure report on POSIX: a fault anywhere in the process
// (memory access, arithmetic, illegal instruction, abort, stack overflow) or
// memory exhaustion that escapes the run is reported on standard error and
// ends the process with status 1. Faults other than memory access carry the
// code Windows gives the same fault, so both builds report them alike.

#include <dlfcn.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "platform/failure_report.h"
#include "platform/platform.h"
#include "platform/posix/program_file_posix.h"

namespace platform {

namespace {

// Filled at install time: nothing may be allocated once a fault is handled.
char programFileName[256] = "SkarvelConfig";
alignas(16) unsigned char alternateStack[64 * 1024];

constexpr int addressDigits = 8;

void writeReport(const FailureText& text) {
    std::string_view rest = text.view();
    while (!rest.empty()) {
        const ssize_t done = write(STDERR_FILENO, rest.data(), rest.size());
        if (done <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(done));
    }
    const char newline = '\n';
    (void)!write(STDERR_FILENO, &newline, 1);
}

// The module holding `address`: its file name and start, or false.
bool findModule(std::uintptr_t address, const char*& name, std::uintptr_t& base) {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(address), &info) == 0 || info.dli_fname == nullptr) return false;
    base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    // The main program may come back as an empty name.
    name = info.dli_fname[0] != '\0' ? fileNameOf(info.dli_fname).data() : programFileName;
    return true;
}

#if defined(__aarch64__)
// The fault's syndrome record in the signal frame tells a write from a read.
struct SyndromeRecord {
    std::uint32_t magic;
    std::uint32_t size;
    std::uint64_t esr;
};
constexpr std::uint32_t syndromeMagic = 0x45535201;
#endif

void readContext(void* context, std::uintptr_t& code, std::uintptr_t& stack, AccessKind& access) {
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    code = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    stack = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
    access = (uc->uc_mcontext.gregs[REG_ERR] & 2) ? AccessKind::write : AccessKind::read;
#elif defined(__i386__)
    code = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
    stack = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_ESP]);
    access = (uc->uc_mcontext.gregs[REG_ERR] & 2) ? AccessKind::write : AccessKind::read;
#elif defined(__aarch64__)
    code = static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
    stack = static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
    const unsigned char* at = reinterpret_cast<const unsigned char*>(uc->uc_mcontext.__reserved);
    const unsigned char* end = at + sizeof uc->uc_mcontext.__reserved;
    while (at + sizeof(SyndromeRecord) <= end) {
        SyndromeRecord record;
        std::memcpy(&record, at, sizeof record);
        if (record.magic == 0 || record.size == 0) break;
        if (record.magic == syndromeMagic) {
            const std::uint64_t exceptionClass = (record.esr >> 26) & 0x3F;
            // Data aborts carry the write-not-read bit.
            if (exceptionClass == 0x24 || exceptionClass == 0x25) {
                access = (record.esr & (1u << 6)) ? AccessKind::write : AccessKind::read;
            }
            break;
        }
        at += record.size;
    }
#elif defined(__arm__)
    code = static_cast<std::uintptr_t>(uc->uc_mcontext.arm_pc);
    stack = static_cast<std::uintptr_t>(uc->uc_mcontext.arm_sp);
    // The fault status register's write-not-read bit.
    access = (uc->uc_mcontext.error_code & (1u << 11)) ? AccessKind::write : AccessKind::read;
#else
    (void)uc;
    (void)access;
    code = 0;
    stack = 0;
#endif
}

// The Windows exception code of a fault other than a memory access.
std::uint32_t exceptionCodeOf(int signal, int detail) {
    switch (signal) {
    case SIGFPE:
        switch (detail) {
        case FPE_INTDIV: return 0xC0000094; // integer division by zero
        case FPE_INTOVF: return 0xC0000095;
        case FPE_FLTDIV: return 0xC000008E;
        case FPE_FLTOVF: return 0xC0000091;
        case FPE_FLTUND: return 0xC0000093;
        case FPE_FLTRES: return 0xC000008F;
        default: return 0xC0000090;         // invalid floating-point operation
        }
    case SIGILL: return detail == ILL_PRVOPC ? 0xC0000096 : 0xC000001D;
    case SIGTRAP: return 0x80000003;        // breakpoint
    default: return 0x40000015;             // abort(): a fatal exit the code asked for
    }
}

void onFault(int signal, siginfo_t* info, void* context) {
    std::uintptr_t code = 0, stack = 0;
    AccessFault fault;
    readContext(context, code, stack, fault.access);
    const char* module = nullptr;
    std::uintptr_t base = 0;
    findModule(code, module, base);
    const auto accessed = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if ((signal == SIGSEGV || signal == SIGBUS) && !isStackOverflow(accessed, stack)) {
        fault.codeAddress = code;
        fault.accessedAddress = accessed;
        fault.moduleName = module;
        fault.moduleBase = base;
        writeReport(formatAccessViolationReport(fault, programFileName, addressDigits));
    } else {
        const std::uint32_t exceptionCode = signal == SIGSEGV || signal == SIGBUS
                                                ? 0xC00000FD // stack overflow
                                                : exceptionCodeOf(signal, info->si_code);
        writeReport(formatExternalExceptionReport(exceptionCode, code, module, base, programFileName, addressDigits));
    }
    _exit(1);
}

} // namespace

void installFailureReport() {
    const std::string path = executablePath();
    const std::string_view name = fileNameOf(path);
    if (!name.empty() && name.size() < sizeof programFileName) {
        std::memcpy(programFileName, name.data(), name.size());
        programFileName[name.size()] = '\0';
    }

    // Its own stack, so that a fault from an exhausted stack is reported too.
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);

    struct sigaction action{};
    action.sa_sigaction = onFault;
    // Once only: a fault inside the report itself ends the process the ordinary way.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) sigaction(signal, &action, nullptr);
}

[[gnu::noinline]] void reportEscapedFailure(const char* kindName, const char* message) {
    const auto caller = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    const char* module = programFileName;
    std::uintptr_t base = 0x1000;
    findModule(caller, module, base);
    writeReport(formatFailureReport(kindName, module, caller - base, message, addressDigits));
    _exit(1);
}

} // namespace platform
