#include <windows.h>

#include "platform/console_companion.h"
#include "platform/platform.h"

namespace platform {

LoadedLibrary::LoadedLibrary(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {
    if (!handle_) failure_ = lastErrorText();
}

LoadedLibrary::~LoadedLibrary() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* LoadedLibrary::function(const char* name) const {
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

std::string rawCommandLine() { return GetCommandLineA(); }

bool runAndWait(const std::string& program, std::string_view commandLineTail, int& status, std::string& failure) {
    std::string commandLine = "\"" + program + "\"";
    commandLine.append(commandLineTail);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        failure = lastErrorText();
        return false;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    status = static_cast<int>(exitCode);
    return true;
}

WriteRefusal whyNotWritable(const std::string& path) {
    // A new file that goes again when closed: the answer without a trace.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return {};
    }
    const bool denied = GetLastError() == ERROR_ACCESS_DENIED;
    return {lastErrorText(), denied};
}

} // namespace platform
