#include "app/console_companion.h"

#include <algorithm>
#include <cstdio>

#include "app/configuration_check.h"
#include "app/run_sequence.h"
#include "app/watched_run.h"
#include "base/text.h"
#include "platform/command_line_split.h"
#include "platform/console_companion.h"
#include "ports/loaded_port_library.h"

namespace {

void print(const std::string& text) { platform::printText(std::string_view(text)); }

std::u16string column(std::u16string cell, std::size_t width) {
    cell.append(cell.size() < width ? width - cell.size() : 1, u' ');
    return cell;
}

std::u16string column(std::string_view ascii, std::size_t width) {
    return column(std::u16string(ascii.begin(), ascii.end()), width);
}

// A port name whole; only control characters, which would break the line, are "?".
std::u16string printable(const std::u16string& name) {
    std::u16string text = name;
    for (char16_t& unit : text) {
        if (unit < 32 || unit == 127) unit = u'?';
    }
    return text;
}

int listPorts(const std::string& configPath, const std::string& libraryPath) {
    std::string failure;
    const auto library = LoadedPortLibrary::load(libraryPath, failure);
    if (!library) {
        print("SkarvelConfig: " + failure + "\n");
        return 2;
    }
    RunLog ignored;
    ModeTable table;
    std::vector<std::size_t> entryLines;
    const bool configured = loadConfiguration(configPath, ignored, table, &entryLines);
    platform::printText(std::u16string_view(formatPortList(planModes(*library, table), table, entryLines)));
    if (!configured) print("(" + configPath + " cannot be read: no configuration applies)\n");
    return 0;
}

} // namespace

std::optional<std::string> companionInformationAskedFor(const std::vector<std::string>& parameters) {
    for (const std::string& parameter : parameters) {
        if (parameter == "--version") return std::string(programBanner) + "\n";
        if (parameter == "--help") {
            return "Usage: SkarvelConfig [CONFIGURATION-FILE] [/LOG=LOG-FILE]\n"
                   "Runs SkarvelConfig.exe with these parameters (after a run still going,\n"
                   "if any), waits for it and shows the log it wrote, or why there is none.\n"
                   "SkarvelConfig.exe sets the line mode (RS-232, RS-422, RS-485 four-wire,\n"
                   "RS-485 two-wire) of the serial ports named in the configuration file and\n"
                   "writes one log, replacing the previous one; without parameters both are\n"
                   "SkarvelConfig.cfg and SkarvelConfig.log beside the program; /LOG= alone\n"
                   "writes no log.\n"
                   "Exit status: 0 the run was clean, 1 its log names a problem (an unusable\n"
                   "line, a refused mode, a port not found), 2 it was not done (the\n"
                   "configuration or the log could not be used, or the program did not end\n"
                   "normally).\n"
                   "\n"
                   "  --check [FILE]  check the configuration (FILE, or the default) without\n"
                   "                  touching a port or the log: print each line the log would\n"
                   "                  hold for it; exit 0 when every line is usable, 1 when\n"
                   "                  some are not, 2 when the file cannot be read\n"
                   "  --list [FILE]   list the ports LumtorPort.dll sees, each with its number,\n"
                   "                  whether it is configurable and the line of the\n"
                   "                  configuration (FILE, or the default) a run would apply,\n"
                   "                  then the configured ports none would take; no port is\n"
                   "                  changed\n"
                   "  --help          show this text and exit\n"
                   "  --version       show the version and exit\n";
        }
    }
    return std::nullopt;
}

std::optional<std::string> listAskedFor(const std::vector<std::string>& parameters, const std::string& defaultPath) {
    const auto asked = std::find(parameters.begin(), parameters.end(), "--list");
    if (asked == parameters.end()) return std::nullopt;
    return asked + 1 != parameters.end() ? *(asked + 1) : defaultPath;
}

std::u16string formatPortList(const ModePlan& plan, const ModeTable& table,
                              const std::vector<std::size_t>& entryLines) {
    // Everything but the names is ASCII.
    const auto wide = [](const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); };
    const auto entryText = [&](std::size_t entry) {
        return "line " + std::to_string(entryLines[entry]) + ": " + std::string(modeKeyword(table[entry].modeCode));
    };
    std::u16string out = column("PORT", 12) + column("NUMBER", 8) + column("CONFIGURABLE", 14) + u"CONFIGURATION\n";
    for (const PlannedPort& port : plan.ports) {
        out += column(printable(port.name), 12);
        if (!port.located) {
            out += column("-", 8) + column("unusable", 14) + u"-\n";
            continue;
        }
        out += column(formatDecimal(port.portNumber), 8) + column(port.locationQualifier == 0 ? "yes" : "no", 14) +
               wide(port.entry ? entryText(*port.entry) : "-") + u"\n";
    }
    for (std::size_t entry : plan.entriesUntaken) {
        out += wide("Port " + formatDecimal(table[entry].portNumber) + " (" + entryText(entry) +
                    "): no port takes it\n");
    }
    return out;
}

int runConsoleCompanion() {
    const std::string raw = platform::rawCommandLine();
    std::vector<std::string> parameters = splitCommandLine(raw);
    if (!parameters.empty()) parameters.erase(parameters.begin());
    const std::string programDir = platform::programDir();

    if (const auto text = companionInformationAskedFor(parameters)) {
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
