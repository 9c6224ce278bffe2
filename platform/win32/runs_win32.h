#pragma once

// What runs_win32.cpp offers the rest of the Win32 platform beside platform.h.
namespace platform {

// Tells the console companion that started this program, if one did, that
// this run's event is recorded: it records one itself only for a run that
// recorded none.
void tellEventRecorded() noexcept;

} // namespace platform
