#include <windows.h>

#include <cstring>

#include "platform/command_line_split.h"
#include "platform/program_dir.h"
#include "platform/platform.h"
#include "platform/win32/process_win32.h"

namespace platform {

LocalDateTime localNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalDateTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::string programModulePath() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A cut path comes back as long as the buffer, its last byte a NUL.
    return std::string(path, strnlen(path, length));
}

std::string programDir() {
    return windowsProgramDir(programModulePath(), [](unsigned char c) { return IsDBCSLeadByte(c) != 0; });
}

std::vector<std::string> commandLineParameters(int, char**) {
    // The raw text, split by the program's own rules; the first is the program's name.
    std::vector<std::string> parameters = splitCommandLine(GetCommandLineA());
    if (!parameters.empty()) parameters.erase(parameters.begin());
    return parameters;
}

// A program of the graphical subsystem has no console to answer on.
bool answersHelpAndVersion() { return false; }

bool slashMayStartPath() { return false; }

std::string lastErrorText() {
    const DWORD error = GetLastError();
    if (error == 0) return std::string();
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    // Windows ends its messages with CR LF.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

} // namespace platform
