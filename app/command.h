#pragma once

// The administrator's command: SkarvelConfig.com, the console companion of
// the windowed SkarvelConfig.exe on Windows (cmd and PowerShell find it first
// for "SkarvelConfig"), and what the skarvelconfig command runs on Linux. It
// answers --help and --version, checks a configuration, lists the ports, or
// runs the program and shows what the run did.

#include <functional>
#include <string>
#include <vector>

#include "app/information_options.h"

namespace app {

// How each system's command does what differs.
struct CommandSetup {
    HelpFor helpFor;
    // What --check and --list read unless a file follows them.
    std::string defaultConfig;
    // "--list": prints the list against the configuration; its exit status.
    std::function<int(const std::string& configPath)> listPorts;
    // Where each run's metrics go, for the node exporter, and the port
    // library's records they name the ports from; empty for none.
    std::string metricsPath;
    std::string recordsFolder;
};

// The whole command, given the parameters after its name: its exit status.
int runCommand(const std::vector<std::string>& parameters, const CommandSetup& setup);

// The ports of the port library at `libraryPath`, loaded by name, against the
// configuration at `configPath`, printed (Windows' --list): 0, or 2 with the
// reason when the library cannot be used.
int printLibraryPortList(const std::string& configPath, const std::string& libraryPath);

} // namespace app
