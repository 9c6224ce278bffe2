// A run as the node exporter serves it: each configuration line's port and
// state, from the configuration, the log and the port library's records.

#include <gtest/gtest.h>

#include "app/run_metrics.h"
#include "ports/lumtor_ports.h"
#include "support/expected_log.h"

using namespace app;
using namespace testing_support;

namespace {

ports::PortRecord record(std::int32_t qualifier, std::int32_t number, std::int32_t modeCode, bool set) {
    ports::PortRecord r;
    r.located = true;
    r.qualifier = qualifier;
    r.number = number;
    r.modeAsked = true;
    r.modeCode = modeCode;
    r.set = set;
    return r;
}

} // namespace

TEST(RunMetrics, EachConfigurationLineIsSetFailedOrNotFoundOnItsDevice) {
    base::RunLog ignored;
    const config::Configuration configuration =
        config::parseConfiguration("Port1=RS485\nPort2=RS422\nPort3=RS232\nPort3=RS232\n; x\nPort9=rs485-4w\n", ignored);
    const std::string log = textOf(withHeader({portNotSet(2), portNotFound(3), portNotFound(9)}));
    const std::vector<std::pair<std::string, ports::PortRecord>> records = {
        {"ttyS2", record(0, 2, modeCodeRs422, false)}, {"ttyS1", record(0, 1, modeCodeRs485TwoWire, true)},
        {"ttyS3", record(0, 3, modeCodeRs232, true)}, {"ttyS9", record(1, 9, modeCodeRs232, true)}};
    const struct {
        const char* name;
        std::vector<std::pair<std::string, ports::PortRecord>> records;
        std::vector<std::string> devices;
    } cases[] = {
        {"named from the records", records, {"ttyS1", "ttyS2", "ttyS3", "", ""}},
        {"without records, from the log alone", {}, {"", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        const std::vector<PortMetric> metrics = portMetrics(configuration, log, c.records);
        ASSERT_EQ(metrics.size(), 5u) << c.name;
        const PortState states[] = {PortState::set, PortState::failed, PortState::set, PortState::notFound,
                                    PortState::notFound};
        const std::size_t lines[] = {1, 2, 3, 4, 6};
        const char* modes[] = {"RS485", "RS422", "RS232", "RS232", "RS485-4W"};
        for (std::size_t i = 0; i < metrics.size(); ++i) {
            EXPECT_EQ(metrics[i].state, states[i]) << c.name << " " << i;
            EXPECT_EQ(metrics[i].line, lines[i]) << c.name << " " << i;
            EXPECT_EQ(metrics[i].mode, modes[i]) << c.name << " " << i;
            EXPECT_EQ(metrics[i].device, c.devices[i]) << c.name << " " << i;
        }
    }
}

TEST(RunMetrics, AreWrittenInTheNodeExportersTextFormat) {
    const std::string head = "# HELP skarvelconfig_run_outcome How the last run ended: 0 clean, 1 with problems, "
                             "2 not done.\n# TYPE skarvelconfig_run_outcome gauge\nskarvelconfig_run_outcome 1\n"
                             "# HELP skarvelconfig_run_end_time_seconds When the last run ended, in seconds since the "
                             "epoch.\n# TYPE skarvelconfig_run_end_time_seconds gauge\n"
                             "skarvelconfig_run_end_time_seconds 1765300000\n"
                             "# HELP skarvelconfig_build_info The version of SkarvelConfig that made the last run.\n"
                             "# TYPE skarvelconfig_build_info gauge\nskarvelconfig_build_info{version=\"" +
                             std::string(base::programVersion) + "\"} 1\n";
    EXPECT_EQ(formatMetrics({RunOutcome::problems, 1765300000, {}}), head);
    EXPECT_EQ(formatMetrics({RunOutcome::problems, 1765300000, {{-1, 7, "tty\"S\\1", "RS232", PortState::failed}}}),
              head + "# HELP skarvelconfig_port_state Each configuration line of the last run: 1 for the state its "
                     "port is in (set, failed, not_found), 0 for the others.\n"
                     "# TYPE skarvelconfig_port_state gauge\n"
                     "skarvelconfig_port_state{port=\"-1\",line=\"7\",device=\"tty\\\"S\\\\1\",mode=\"RS232\","
                     "state=\"set\"} 0\n"
                     "skarvelconfig_port_state{port=\"-1\",line=\"7\",device=\"tty\\\"S\\\\1\",mode=\"RS232\","
                     "state=\"failed\"} 1\n"
                     "skarvelconfig_port_state{port=\"-1\",line=\"7\",device=\"tty\\\"S\\\\1\",mode=\"RS232\","
                     "state=\"not_found\"} 0\n");
}
