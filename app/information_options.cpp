#include "app/information_options.h"

#include "app/run_sequence.h"

std::optional<std::string> informationAskedFor(const std::vector<std::string>& parameters) {
    for (const std::string& parameter : parameters) {
        if (parameter == "--version") return std::string(programBanner) + "\n";
        if (parameter == "--help") {
            return "Usage: SkarvelConfig [CONFIGURATION-FILE] [/LOG=LOG-FILE]\n"
                   "Sets the line mode (RS-232, RS-422, RS-485 four-wire, RS-485 two-wire) of the\n"
                   "serial ports named in the configuration file, and writes one log, replacing\n"
                   "the previous one. Without parameters both are SkarvelConfig.cfg and\n"
                   "SkarvelConfig.log beside the program; /LOG= alone writes no log.\n"
                   "From the Debian package, run skarvelconfig: it uses\n"
                   "/etc/skarvelconfig/SkarvelConfig.cfg and /var/log/skarvelconfig/SkarvelConfig.log,\n"
                   "as the boot does, shows the log this run wrote and exits 0 when the run was\n"
                   "clean, 1 when its log names a problem, 2 when it was not done.\n"
                   "\n"
                   "  --check [FILE]  check the configuration (FILE, or the default) without\n"
                   "                  touching a port or the log: print each line the log would\n"
                   "                  hold for it; exit 0 when every line is usable, 1 when\n"
                   "                  some are not, 2 when the file cannot be read\n"
                   "  --help          show this text and exit\n"
                   "  --version       show the version and exit\n";
        }
    }
    return std::nullopt;
}
