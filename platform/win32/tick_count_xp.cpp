// Windows XP's loader refuses a program that imports a function XP lacks.
// The POSIX-threads run-time that the C++ run-time brings in calls
// GetTickCount64, which came with Vista, for its timed waits; this program
// never waits on a thread, so the 32-bit tick count serves. Defining the
// import's own name here makes the linker take this one instead of
// KERNEL32's.

#include <windows.h>

namespace {

ULONGLONG WINAPI tickCount64() { return GetTickCount(); }

} // namespace

extern "C" {
ULONGLONG(WINAPI* tickCount64Import)() asm("__imp__GetTickCount64@0") = tickCount64;
}
