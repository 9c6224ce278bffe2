#include "support/expected_log.h"

namespace testing_support {

Lines withHeader(Lines body) {
    body.insert(body.begin(), {banner, timestamp});
    return body;
}

Lines openFailureLines(const std::string& path) {
    return {"Error loading " + path + ":", "\tEFOpenError: Cannot open file " + path, "\tAborting."};
}

std::string leftHandMessage(const std::string& name, std::size_t line) {
    return "LValue \"" + name + "\" on line " + std::to_string(line) + " should be of \"Port0\", \"Port1\", etc. form.";
}

std::string rightHandMessage(const std::string& value, std::size_t line) {
    return "RValue \"" + value + "\" on line " + std::to_string(line) +
           " should be \"RS232\", \"RS422\", \"RS485\", \"RS485-4W\".";
}

} // namespace testing_support
