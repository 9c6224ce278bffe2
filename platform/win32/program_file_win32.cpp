#include <windows.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/program_dir.h"
#include "platform/win32/program_file_win32.h"

namespace platform {

std::string programModulePath() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A cut path comes back as long as the buffer, its last byte a NUL.
    return std::string(path, strnlen(path, length));
}

std::string programDir() {
    return windowsProgramDir(programModulePath(), [](unsigned char c) { return IsDBCSLeadByte(c) != 0; });
}

} // namespace platform
