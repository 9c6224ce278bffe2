#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace platform {

void printText(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void printText(std::u16string_view text) {
    // UTF-8, the terminals' own; a unit that is half of a broken pair is "?".
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (code >= 0xD800 && code < 0xE000) {
            code = '?';
        }
        if (code < 0x80) {
            bytes += static_cast<char>(code);
        } else if (code < 0x800) {
            bytes += {static_cast<char>(0xC0 | code >> 6), static_cast<char>(0x80 | (code & 0x3F))};
        } else if (code < 0x10000) {
            bytes += {static_cast<char>(0xE0 | code >> 12), static_cast<char>(0x80 | (code >> 6 & 0x3F)),
                      static_cast<char>(0x80 | (code & 0x3F))};
        } else {
            bytes += {static_cast<char>(0xF0 | code >> 18), static_cast<char>(0x80 | (code >> 12 & 0x3F)),
                      static_cast<char>(0x80 | (code >> 6 & 0x3F)), static_cast<char>(0x80 | (code & 0x3F))};
        }
    }
    printText(std::string_view(bytes));
}

bool streamIsJournal(int stream) {
    // systemd names the stream it connected as "device:inode".
    const char* journal = std::getenv("JOURNAL_STREAM");
    struct stat info;
    if (!journal || fstat(stream, &info) != 0) return false;
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) == journal;
}

} // namespace platform
