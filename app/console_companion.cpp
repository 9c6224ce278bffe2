#include "app/console_companion.h"

#include <algorithm>

#include "app/configuration_check.h"
#include "app/information_options.h"
#include "app/watched_run.h"
#include "config/port_list.h"
#include "platform/platform.h"
#include "ports/loaded_port_library.h"

namespace {

void print(const std::string& text) { platform::printText(std::string_view(text)); }

int listPorts(const std::string& configPath, const std::string& libraryPath) {
    std::string failure;
    const auto library = LoadedPortLibrary::load(libraryPath, failure);
    if (!library) {
        print("SkarvelConfig: " + failure + "\n");
        return 2;
    }
    const PortList list = listPorts(*library, configPath, {{"PORT", 12}, {"NUMBER", 8}, {"CONFIGURABLE", 14}, {}, {}});
    platform::printText(std::u16string_view(list.table));
    if (!list.note.empty()) print(list.note);
    return 0;
}

} // namespace

std::optional<std::string> listAskedFor(const std::vector<std::string>& parameters, const std::string& defaultPath) {
    const auto asked = std::find(parameters.begin(), parameters.end(), "--list");
    if (asked == parameters.end()) return std::nullopt;
    return asked + 1 != parameters.end() ? *(asked + 1) : defaultPath;
}

int runConsoleCompanion(const std::vector<std::string>& parameters) {
    const std::string programDir = platform::programDir();
    if (const auto text = informationAskedFor(parameters, HelpFor::companion)) {
        print(*text);
        return 0;
    }
    if (const auto check = configurationCheckAskedFor(parameters, programDir + "SkarvelConfig.cfg")) {
        print(check->text);
        return check->status;
    }
    if (const auto configPath = listAskedFor(parameters, programDir + "SkarvelConfig.cfg")) {
        return listPorts(*configPath, programDir + "LumtorPort.dll");
    }
    return runWatched(parameters);
}
