#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// Standard output when it is a console, which shows UTF-16 whatever its code page.
HANDLE consoleOutput() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return output != INVALID_HANDLE_VALUE && output && GetConsoleMode(output, &mode) ? output : nullptr;
}

void writeConsole(HANDLE console, const wchar_t* text, std::size_t length) {
    // Written in pieces: older consoles refuse one very long write.
    while (length > 0) {
        const DWORD piece = length > 8192 ? 8192 : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteConsoleW(console, text, piece, &written, nullptr) || written == 0) return;
        text += written;
        length -= written;
    }
}

} // namespace

void printText(std::string_view text) {
    const HANDLE console = consoleOutput();
    if (!console || text.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    // The console shows its OEM code page; the text is in the ANSI one.
    std::fflush(stdout);
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    writeConsole(console, wide.data(), wide.size());
}

void printText(std::u16string_view text) {
    const std::wstring wide(text.begin(), text.end());
    if (const HANDLE console = consoleOutput()) {
        std::fflush(stdout);
        writeConsole(console, wide.data(), wide.size());
        return;
    }
    if (wide.empty()) return;
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                           nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), length, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// Windows has no journal; its administrators read the event log.
bool streamIsJournal(int) { return false; }

} // namespace platform
