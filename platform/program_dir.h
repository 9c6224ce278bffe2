#pragma once

#include <string>
#include <string_view>

namespace platform {

// Whether a byte opens a double-byte character in the system's code page.
using LeadByteTest = bool (*)(unsigned char);

// The directory part of a Windows module path: up to and including the last
// backslash or colon, where a backslash that is the second byte of a
// double-byte character does not count. Always ends in a backslash.
std::string windowsProgramDir(std::string_view modulePath, LeadByteTest isLeadByte);

// The directory part of a POSIX path, ending in "/".
std::string posixProgramDir(std::string_view executablePath);

} // namespace platform
