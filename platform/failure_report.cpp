#include "platform/failure_report.h"

namespace platform {

namespace {

class Builder {
public:
    explicit Builder(FailureText& out) : out_(out) { out_.length = 0; }

    Builder& put(std::string_view text) {
        for (char c : text) {
            if (out_.length == FailureText::capacity) break;
            out_.text[out_.length++] = c;
        }
        return *this;
    }

    Builder& hex(std::uintptr_t value, int minDigits) {
        char digits[2 * sizeof(std::uintptr_t)];
        int count = 0;
        do {
            digits[count++] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        } while (value != 0);
        for (int i = count; i < minDigits; ++i) put("0");
        while (count > 0) put(std::string_view(&digits[--count], 1));
        return *this;
    }

private:
    FailureText& out_;
};

// Fills the message of an access violation.
void formatAccessMessage(Builder& b, const AccessFault& fault, int digits) {
    b.put("Access violation at address ").hex(fault.codeAddress, digits);
    if (fault.moduleName) b.put(" in module '").put(fault.moduleName).put("'");
    b.put(". ");
    switch (fault.access) {
    case AccessKind::read: b.put("Read"); break;
    case AccessKind::write: b.put("Write"); break;
    case AccessKind::unknown: b.put("Access"); break;
    }
    b.put(" of address ").hex(fault.accessedAddress, digits);
}

} // namespace

bool isStackOverflow(std::uintptr_t accessed, std::uintptr_t stack) {
    return stack != 0 && accessed < stack + 256 && accessed + 64 * 1024 > stack;
}

bool failureBoxCanBeSeen(bool stationFlagsKnown, std::uint32_t stationFlags) {
    constexpr std::uint32_t visible = 1; // WSF_VISIBLE
    return stationFlagsKnown && (stationFlags & visible) != 0;
}

std::string_view fileNameOf(std::string_view path) {
    const std::size_t delimiter = path.find_last_of("/\\");
    return delimiter == std::string_view::npos ? path : path.substr(delimiter + 1);
}

FailureText formatFailureReport(std::string_view kindName, std::string_view moduleName,
                                std::uintptr_t relativeAddress, std::string_view message, int addressDigits) {
    FailureText out;
    Builder b(out);
    b.put("Exception ").put(kindName).put(" in module ").put(moduleName).put(" at ");
    b.hex(relativeAddress, addressDigits).put(".\n").put(message);
    if (!message.empty() && message.back() != '.') b.put(".");
    return out;
}

FailureText formatAccessViolationReport(const AccessFault& fault, const char* programName, int addressDigits) {
    // The message is built first, in its own buffer, then wrapped like any other failure.
    FailureText message;
    Builder b(message);
    formatAccessMessage(b, fault, addressDigits);

    if (fault.moduleName) {
        return formatFailureReport("EAccessViolation", fault.moduleName, fault.codeAddress - fault.moduleBase,
                                   message.view(), addressDigits);
    }
    return formatFailureReport("EAccessViolation", programName, fault.codeAddress - 0x1000, message.view(),
                               addressDigits);
}

FailureText formatExternalExceptionReport(std::uint32_t exceptionCode, std::uintptr_t codeAddress,
                                          const char* moduleName, std::uintptr_t moduleBase, const char* programName,
                                          int addressDigits) {
    FailureText message;
    Builder(message).put("External exception ").hex(exceptionCode, 8);
    if (moduleName) {
        return formatFailureReport("EExternalException", moduleName, codeAddress - moduleBase, message.view(),
                                   addressDigits);
    }
    return formatFailureReport("EExternalException", programName, codeAddress - 0x1000, message.view(), addressDigits);
}

} // namespace platform
