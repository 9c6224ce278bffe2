#pragma once

// SkarvelConfig.com, the console companion of the windowed SkarvelConfig.exe
// (Windows): cmd and PowerShell find it first for "SkarvelConfig". It checks
// a configuration, lists the ports, or runs the program and shows its log.

#include <optional>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "ports/dry_run.h"

// "--help" and "--version": the text, or nothing when neither is asked for.
std::optional<std::string> companionInformationAskedFor(const std::vector<std::string>& parameters);

// "--list [FILE]": the configuration file asked for, or nothing.
std::optional<std::string> listAskedFor(const std::vector<std::string>& parameters, const std::string& defaultPath);

// Each port the library sees: its name, number, whether it is configurable
// and the configuration line a run would apply; then each configured number
// no port would take. `entryLines` holds each entry's line number.
// Port names are shown whole (UTF-16).
std::u16string formatPortList(const ModePlan& plan, const ModeTable& table,
                              const std::vector<std::size_t>& entryLines);

// The whole companion, on this process's command line: its exit status.
int runConsoleCompanion();
