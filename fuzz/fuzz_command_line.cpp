// The command-line splitter.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line_split.h"

using namespace platform;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Without quotes: split at codes 1-32, each run cut into pieces of 4096.
std::vector<std::string> splitAtBlanks(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    const auto flush = [&] {
        for (std::size_t at = 0; at < current.size(); at += maxParameterLength) {
            parts.push_back(current.substr(at, maxParameterLength));
        }
        current.clear();
    };
    for (char c : text) {
        if (static_cast<unsigned char>(c) <= 32) flush();
        else current.push_back(c);
    }
    flush();
    return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> parameters = splitCommandLine(raw);
    const std::string_view text = raw.substr(0, raw.find('\0'));

    std::size_t total = 0;
    for (const std::string& parameter : parameters) {
        check(!parameter.empty());
        check(parameter.find('"') == std::string::npos);
        check(parameter.find('\0') == std::string::npos);
        total += parameter.size();
    }
    // Nothing is invented: every parameter byte comes from the text.
    check(total <= text.size());

    if (text.find('"') == std::string_view::npos) check(parameters == splitAtBlanks(text));

    // The program the companion starts with its tail reads the companion's
    // own parameters, whatever the companion's name was.
    std::vector<std::string> passed = splitCommandLine("\"C:\\Program Files\\SkarvelConfig.exe\"" + commandLineTail(raw));
    check(!passed.empty() && passed.front() == "C:\\Program Files\\SkarvelConfig.exe");
    passed.erase(passed.begin());
    check(passed == std::vector<std::string>(parameters.begin() + (parameters.empty() ? 0 : 1), parameters.end()));
    return 0;
}
