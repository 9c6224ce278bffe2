// The program directory from a module path: Windows (with a lead-byte test) and POSIX.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/program_dir.h"

using namespace platform;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool noLeadBytes(unsigned char) { return false; }
bool shiftJis(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool highBytes(unsigned char c) { return c >= 0x80; }

// Whether a delimiter stands as a character of its own at or after `from`.
bool delimiterAfter(std::string_view path, std::size_t from, LeadByteTest isLead) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (isLead(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (i >= from && (c == '\\' || c == ':')) return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const LeadByteTest tests[] = {noLeadBytes, shiftJis, highBytes};
    const LeadByteTest isLead = tests[data[0] % 3];
    const std::string_view path(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string dir = windowsProgramDir(path, isLead);
    check(!dir.empty() && dir.back() == '\\');
    const std::string_view kept = std::string_view(dir).substr(0, dir.size() - 1);
    if (path.substr(0, dir.size()) == dir && (dir.size() > 0)) {
        // Cut just after a delimiter backslash: nothing after it is a delimiter.
        check(!delimiterAfter(path, dir.size(), isLead));
    } else {
        // A backslash was added: after a colon, or to an empty directory.
        check(path.substr(0, kept.size()) == kept);
        check(kept.empty() || kept.back() == ':');
        check(!delimiterAfter(path, kept.size(), isLead));
    }

    const std::string posix = posixProgramDir(path);
    check(!posix.empty() && posix.back() == '/');
    // Up to and including the last slash; without one, the current directory.
    const std::size_t slash = path.rfind('/');
    check(slash == std::string_view::npos ? posix == "./" : posix.size() == slash + 1 && path.substr(0, slash + 1) == posix);
    return 0;
}
