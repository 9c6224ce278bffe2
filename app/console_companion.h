#pragma once

// SkarvelConfig.com, the console companion of the windowed SkarvelConfig.exe
// (Windows): cmd and PowerShell find it first for "SkarvelConfig". It checks
// a configuration, lists the ports, or runs the program and shows its log.

#include <optional>
#include <string>
#include <vector>

// "--list [FILE]": the configuration file asked for, or nothing.
std::optional<std::string> listAskedFor(const std::vector<std::string>& parameters, const std::string& defaultPath);

// The whole companion, given the parameters after its name: its exit status.
int runConsoleCompanion(const std::vector<std::string>& parameters);
