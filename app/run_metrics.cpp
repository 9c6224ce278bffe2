#include "app/run_metrics.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "base/text.h"
#include "base/version.h"
#include "platform/platform.h"
#include "ports/port_stage.h"

namespace app {

namespace {

// How many of the log's lines report each port number so.
std::map<std::int32_t, std::size_t> linesPerNumber(std::string_view logText, ports::PortReport report) {
    std::map<std::int32_t, std::size_t> counts;
    for (std::size_t at = 0; at < logText.size();) {
        const std::size_t end = std::min(logText.find("\r\n", at), logText.size());
        const std::optional<ports::ReportedPort> reported = ports::reportedPort(logText.substr(at, end - at));
        if (reported && reported->report == report) ++counts[reported->number];
        at = end + 2;
    }
    return counts;
}

const char* stateName(PortState state) {
    switch (state) {
    case PortState::set: return "set";
    case PortState::failed: return "failed";
    case PortState::notFound: break;
    }
    return "not_found";
}

// A label's value, escaped as the text format wants it.
std::string labelValue(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return escaped;
}

} // namespace

std::vector<PortMetric> portMetrics(const config::Configuration& configuration, std::string_view logText,
                                    const std::vector<std::pair<std::string, ports::PortRecord>>& records) {
    std::map<std::int32_t, std::size_t> notFound = linesPerNumber(logText, ports::PortReport::notFound);
    std::map<std::int32_t, std::size_t> failed = linesPerNumber(logText, ports::PortReport::notSet);
    std::map<std::int32_t, std::size_t> entries;
    for (const ports::ModeEntry& entry : configuration.table) ++entries[entry.portNumber];
    // The configurable ports of each number, in their names' order.
    std::map<std::int32_t, std::vector<const std::pair<std::string, ports::PortRecord>*>> takers;
    for (const auto& record : records) {
        if (record.second.located && record.second.qualifier == 0) takers[record.second.number].push_back(&record);
    }
    for (auto& [number, ports] : takers) {
        std::sort(ports.begin(), ports.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
    }

    std::vector<PortMetric> metrics;
    std::map<std::int32_t, std::size_t> seen;
    for (std::size_t i = 0; i < configuration.table.size(); ++i) {
        const ports::ModeEntry& entry = configuration.table[i];
        const std::size_t index = seen[entry.portNumber]++;
        PortMetric metric{entry.portNumber, configuration.entryLines[i], "",
                          std::string(config::modeKeyword(entry.modeCode)), PortState::set};
        // The entries no port took are the last of their number.
        if (index >= entries[entry.portNumber] - notFound[entry.portNumber]) {
            metric.state = PortState::notFound;
        } else {
            const auto& found = takers[entry.portNumber];
            const ports::PortRecord* record = index < found.size() ? &found[index]->second : nullptr;
            if (record) metric.device = found[index]->first;
            if (record && record->modeAsked && record->modeCode == entry.modeCode) {
                metric.state = record->set ? PortState::set : PortState::failed;
            } else if (failed[entry.portNumber] > 0) {
                --failed[entry.portNumber];
                metric.state = PortState::failed;
            }
        }
        metrics.push_back(std::move(metric));
    }
    return metrics;
}

std::string formatMetrics(const RunMetrics& metrics) {
    std::string text =
        "# HELP skarvelconfig_run_outcome How the last run ended: 0 clean, 1 with problems, 2 not done.\n"
        "# TYPE skarvelconfig_run_outcome gauge\n"
        "skarvelconfig_run_outcome " +
        std::to_string(exitStatusOf(metrics.outcome)) +
        "\n"
        "# HELP skarvelconfig_run_end_time_seconds When the last run ended, in seconds since the epoch.\n"
        "# TYPE skarvelconfig_run_end_time_seconds gauge\n"
        "skarvelconfig_run_end_time_seconds " +
        std::to_string(metrics.endedAt) +
        "\n"
        "# HELP skarvelconfig_build_info The version of SkarvelConfig that made the last run.\n"
        "# TYPE skarvelconfig_build_info gauge\n"
        "skarvelconfig_build_info{version=\"" +
        labelValue(base::programVersion) + "\"} 1\n";
    if (metrics.ports.empty()) return text;
    text += "# HELP skarvelconfig_port_state Each configuration line of the last run: 1 for the state its port is in "
            "(set, failed, not_found), 0 for the others.\n"
            "# TYPE skarvelconfig_port_state gauge\n";
    for (const PortMetric& port : metrics.ports) {
        for (const PortState state : {PortState::set, PortState::failed, PortState::notFound}) {
            text += "skarvelconfig_port_state{port=\"" + base::formatDecimal(port.number) + "\",line=\"" +
                    std::to_string(port.line) + "\",device=\"" + labelValue(port.device) + "\",mode=\"" +
                    labelValue(port.mode) + "\",state=\"" + stateName(state) + "\"} " +
                    (state == port.state ? "1" : "0") + "\n";
        }
    }
    return text;
}

void writeMetrics(const std::string& path, const std::string& text) noexcept {
    try {
        const std::filesystem::path target(path);
        std::error_code missing;
        if (!std::filesystem::is_directory(target.parent_path(), missing)) return;
        const std::string part = path + ".part";
        {
            platform::NewFile file(part);
            if (!file.isOpen() || !file.write(text)) {
                file.discard();
                return;
            }
        }
        std::error_code failed;
        std::filesystem::rename(part, target, failed);
        if (failed) std::filesystem::remove(part, failed);
    } catch (...) {
        // Out of memory at the very end: the run is done, its metrics are not.
    }
}

} // namespace app
