#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The text of the unhandled-failure report. Built without allocating, so that
// it can be formed inside a fault handler.

namespace platform {

enum class AccessKind { read, write, unknown };

struct AccessFault {
    std::uintptr_t codeAddress = 0;     // absolute address of the failing code
    std::uintptr_t accessedAddress = 0; // the address the code tried to reach
    AccessKind access = AccessKind::unknown;
    // The module holding the failing code: its file name without directory and
    // its start address; null when the code lies in no module.
    const char* moduleName = nullptr;
    std::uintptr_t moduleBase = 0;
};

struct FailureText {
    static constexpr std::size_t capacity = 2048;
    char text[capacity];
    std::size_t length = 0;
    std::string_view view() const { return std::string_view(text, length); }
};

// Addresses are written with at least `addressDigits` upper-case hexadecimal
// digits, and never cut: a wider value gets the digits it needs.

// "Exception EAccessViolation in module {module} at {relative}." LF
// "Access violation at address {code} in module '{module}'. {Read|Write} of address {accessed}."
// When the code lies in no module, `programName` is named and the address less
// 0x1000 given.
FailureText formatAccessViolationReport(const AccessFault& fault, const char* programName, int addressDigits);

// "Exception EExternalException in module {module} at {relative}." LF
// "External exception {code}.", the code as eight hexadecimal digits: any other
// fault, named by its Windows exception code on every platform. The module
// and its start as for an access violation.
FailureText formatExternalExceptionReport(std::uint32_t exceptionCode, std::uintptr_t codeAddress,
                                          const char* moduleName, std::uintptr_t moduleBase, const char* programName,
                                          int addressDigits);

// "Exception {kind} in module {module} at {relative}." LF "{message}", the
// message followed by a period when it is not empty and lacks one.
FailureText formatFailureReport(std::string_view kindName, std::string_view moduleName,
                                std::uintptr_t relativeAddress, std::string_view message, int addressDigits);

// Whether a message box can be seen on the process's window station: only
// where its flags are known and say it is visible (WSF_VISIBLE, 1). A program
// started at boot as SYSTEM runs on a station nobody sees, where a box would
// wait for a click that never comes.
bool failureBoxCanBeSeen(bool stationFlagsKnown, std::uint32_t stationFlags);

// Whether a memory fault at `accessed`, with the stack pointer at `stack`, is
// a stack overflow: it lies just below the stack pointer, as far as one
// frame's locals reach (64 KiB), or a little above it.
bool isStackOverflow(std::uintptr_t accessed, std::uintptr_t stack);

// A file name without its directory (either delimiter).
std::string_view fileNameOf(std::string_view path);

} // namespace platform
