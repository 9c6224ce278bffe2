#include "app/information_options.h"

#include "base/packaged_paths.h"
#include "base/version.h"

namespace app {

namespace {

// Each piece once; the program's text and the companion's are made of them.
constexpr const char* usage = "Usage: SkarvelConfig [CONFIGURATION-FILE] [/LOG=LOG-FILE]\n";
constexpr const char* whatItDoes =
    "Sets the line mode (RS-232, RS-422, RS-485 four-wire, RS-485 two-wire) of the\n"
    "serial ports named in the configuration file, and writes one log, replacing\n"
    "the previous one. Without parameters both are SkarvelConfig.cfg and\n"
    "SkarvelConfig.log beside the program; /LOG= alone writes no log.\n";
std::string debianCommand() {
    return "From the Debian package, run skarvelconfig: it uses\n" + std::string(base::packagedConfigPath) + " and " +
           base::packagedLogPath +
           ",\n"
           "as the boot does, shows the log this run wrote and exits 0 when the run was\n"
           "clean, 1 when its log names a problem, 2 when it was not done.\n";
}
constexpr const char* companionRun =
    "SkarvelConfig.exe does it; this command runs it with these parameters (after\n"
    "a run still going, if any), waits for it and shows the log it wrote, or why\n"
    "there is none.\n"
    "Exit status: 0 the run was clean, 1 its log names a problem (an unusable\n"
    "line, a refused mode, a port not found), 2 it was not done (the\n"
    "configuration or the log could not be used, or the program did not end\n"
    "normally).\n";
constexpr const char* checkOption =
    "  --check [FILE]  check the configuration (FILE, or the default) without\n"
    "                  touching a port or the log: print each line the log would\n"
    "                  hold for it; exit 0 when every line is usable, 1 when\n"
    "                  some are not, 2 when the file cannot be read\n";
constexpr const char* listOption =
    "  --list [FILE]   list the ports LumtorPort.dll sees, each with its number,\n"
    "                  whether it is configurable and the line of the\n"
    "                  configuration (FILE, or the default) a run would apply,\n"
    "                  then the configured ports none would take; no port is\n"
    "                  changed\n";
constexpr const char* helpAndVersion =
    "  --help          show this text and exit\n"
    "  --version       show the version and exit\n";

} // namespace

std::optional<std::string> informationAskedFor(const std::vector<std::string>& parameters, HelpFor helpFor) {
    for (const std::string& parameter : parameters) {
        if (parameter == "--version") return std::string(base::programBanner) + "\n";
        if (parameter == "--help") {
            const bool companion = helpFor == HelpFor::companion;
            return std::string(usage) + whatItDoes + (companion ? companionRun : debianCommand()) + "\n" + checkOption +
                   (companion ? listOption : "") + helpAndVersion;
        }
    }
    return std::nullopt;
}

} // namespace app
