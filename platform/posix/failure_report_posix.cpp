// The unhandled-failure report on POSIX: a memory-access fault (SIGSEGV,
// SIGBUS) anywhere in the process, or memory exhaustion that escapes the run,
// is reported on standard error and ends the process with status 1.

#include <dlfcn.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "app/failure_report.h"
#include "platform/platform.h"
#include "platform/posix/executable_path.h"

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

void readContext(void* context, std::uintptr_t& code, AccessKind& access) {
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    code = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    access = (uc->uc_mcontext.gregs[REG_ERR] & 2) ? AccessKind::write : AccessKind::read;
#elif defined(__i386__)
    code = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
    access = (uc->uc_mcontext.gregs[REG_ERR] & 2) ? AccessKind::write : AccessKind::read;
#elif defined(__aarch64__)
    code = static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
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
#else
    (void)uc;
    code = 0;
#endif
}

void onAccessFault(int, siginfo_t* info, void* context) {
    AccessFault fault;
    fault.accessedAddress = reinterpret_cast<std::uintptr_t>(info->si_addr);
    readContext(context, fault.codeAddress, fault.access);
    findModule(fault.codeAddress, fault.moduleName, fault.moduleBase);
    writeReport(formatAccessViolationReport(fault, programFileName, addressDigits));
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
    action.sa_sigaction = onAccessFault;
    // Once only: a fault inside the report itself ends the process the ordinary way.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, nullptr);
    sigaction(SIGBUS, &action, nullptr);
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
