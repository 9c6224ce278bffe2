#pragma once

// A run as monitoring sees it: the text file Prometheus' node exporter
// serves (its textfile collector), written whole after every run of the
// Linux skarvelconfig command.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/run_outcome.h"
#include "config/configuration.h"
#include "ports/port_records.h"

namespace app {

enum class PortState { set, failed, notFound };

// One configuration line of the run, and what became of it.
struct PortMetric {
    std::int32_t number = 0;
    std::size_t line = 0;
    std::string device; // empty where no port took it
    std::string mode;   // the keyword, as the configuration names it
    PortState state = PortState::set;
};

struct RunMetrics {
    RunOutcome outcome = RunOutcome::notDone;
    std::int64_t endedAt = 0; // seconds since the epoch
    std::vector<PortMetric> ports;
};

// Each configured port of a run, from its configuration and its log: an
// entry is not found where the log says so (no port took it), failed where
// the port that took it was refused, set otherwise. The port that took it
// is named from the port library's records of this boot (ports that share
// a number take their entries in their names' order).
std::vector<PortMetric> portMetrics(const config::Configuration& configuration, std::string_view logText,
                                    const std::vector<std::pair<std::string, ports::PortRecord>>& records);

// The node exporter's text format: the outcome (0 clean, 1 problems, 2 not
// done), when the run ended, the version, and each configured port's state.
std::string formatMetrics(const RunMetrics& metrics);

// Writes the text to `path` whole (renamed into place, so that the node
// exporter never reads half of it), where its folder exists: nothing where
// no exporter is installed. Never fails the run.
void writeMetrics(const std::string& path, const std::string& text) noexcept;

} // namespace app
