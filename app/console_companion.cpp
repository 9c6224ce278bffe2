#include "app/console_companion.h"

#include <algorithm>
#include <cstdio>

#include "app/configuration_check.h"
#include "app/run_sequence.h"
#include "base/text.h"
#include "platform/command_line_split.h"
#include "platform/console_companion.h"
#include "ports/loaded_port_library.h"

namespace {

void print(const std::string& text) { std::fputs(text.c_str(), stdout); }

std::string column(std::string cell, std::size_t width) {
    cell.append(cell.size() < width ? width - cell.size() : 1, ' ');
    return cell;
}

// Port names are UTF-16; the console gets their ASCII, "?" for the rest.
std::string printable(const std::u16string& name) {
    std::string text;
    for (char16_t unit : name) text.push_back(unit >= 32 && unit < 127 ? static_cast<char>(unit) : '?');
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
    print(formatPortList(planModes(*library, table), table, entryLines));
    if (!configured) print("(" + configPath + " cannot be read: no configuration applies)\n");
    return 0;
}

// Runs SkarvelConfig.exe on the same command line and shows the log it wrote.
int runProgram(const std::string& rawCommandLine, const std::vector<std::string>& parameters) {
    std::string failure;
    const std::string program = platform::programDir() + "SkarvelConfig.exe";
    int status = 0;
    if (!platform::runAndWait(program, commandLineTail(rawCommandLine), status, failure)) {
        print("SkarvelConfig: " + program + " cannot be started: " + failure + "\n");
        return 2;
    }
    const RunPaths paths = runPaths(parameters);
    if (paths.logPath.empty()) {
        print("SkarvelConfig wrote no log: /LOG= names no file.\n");
    } else if (platform::sameFile(paths.configPath, paths.logPath)) {
        print("SkarvelConfig wrote no log to " + paths.logPath + ": " + logIsConfigurationReason + ".\n");
    } else if (const platform::ReadResult log = platform::readWholeFile(paths.logPath);
               log.status == platform::ReadStatus::ok) {
        print(lfLines(log.bytes));
    } else {
        const platform::WriteRefusal refusal = platform::whyNotWritable(paths.logPath);
        print("SkarvelConfig could not write its log " + paths.logPath +
              (refusal.reason.empty() ? "." : ": " + refusal.reason) +
              (refusal.accessDenied ? " The start-up task, or a command prompt run as administrator, can write it."
                                    : "") +
              "\n");
    }
    return status;
}

} // namespace

std::optional<std::string> companionInformationAskedFor(const std::vector<std::string>& parameters) {
    for (const std::string& parameter : parameters) {
        if (parameter == "--version") return std::string(programBanner) + "\n";
        if (parameter == "--help") {
            return "Usage: SkarvelConfig [CONFIGURATION-FILE] [/LOG=LOG-FILE]\n"
                   "Runs SkarvelConfig.exe with these parameters, waits for it, shows the log\n"
                   "it wrote and ends with its status. SkarvelConfig.exe sets the line mode\n"
                   "(RS-232, RS-422, RS-485 four-wire, RS-485 two-wire) of the serial ports\n"
                   "named in the configuration file and writes one log, replacing the previous\n"
                   "one; without parameters both are SkarvelConfig.cfg and SkarvelConfig.log\n"
                   "beside the program.\n"
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

std::string formatPortList(const ModePlan& plan, const ModeTable& table, const std::vector<std::size_t>& entryLines) {
    const auto entryText = [&](std::size_t entry) {
        return "line " + std::to_string(entryLines[entry]) + ": " + std::string(modeKeyword(table[entry].modeCode));
    };
    std::string out = column("PORT", 12) + column("NUMBER", 8) + column("CONFIGURABLE", 14) + "CONFIGURATION\n";
    for (const PlannedPort& port : plan.ports) {
        out += column(printable(port.name), 12);
        if (!port.located) {
            out += column("-", 8) + column("unusable", 14) + "-\n";
            continue;
        }
        out += column(formatDecimal(port.portNumber), 8) + column(port.locationQualifier == 0 ? "yes" : "no", 14) +
               (port.entry ? entryText(*port.entry) : "-") + "\n";
    }
    for (std::size_t entry : plan.entriesUntaken) {
        out += "Port " + formatDecimal(table[entry].portNumber) + " (" + entryText(entry) + "): no port takes it\n";
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
    return runProgram(raw, parameters);
}
