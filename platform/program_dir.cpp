#include "platform/program_dir.h"

namespace platform {

std::string windowsProgramDir(std::string_view modulePath, LeadByteTest isLeadByte) {
    std::size_t end = 0; // one past the last delimiter, 0 if none
    for (std::size_t i = 0; i < modulePath.size(); ++i) {
        const auto c = static_cast<unsigned char>(modulePath[i]);
        if (isLeadByte(c) && i + 1 < modulePath.size()) {
            ++i; // its trail byte may look like a backslash but is not one
            continue;
        }
        if (c == '\\' || c == ':') end = i + 1;
    }
    std::string dir(modulePath.substr(0, end));
    // Ends in a colon or is empty: a backslash completes it.
    if (dir.empty() || dir.back() != '\\') dir.push_back('\\');
    return dir;
}

std::string posixProgramDir(std::string_view executablePath) {
    const std::size_t slash = executablePath.rfind('/');
    if (slash == std::string_view::npos) return "./";
    return std::string(executablePath.substr(0, slash + 1));
}

} // namespace platform
