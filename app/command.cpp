#include "app/command.h"

#include <ctime>

#include "app/options_asked.h"
#include "app/run_metrics.h"
#include "app/run_sequence.h"
#include "app/watched_run.h"
#include "config/port_list.h"
#include "platform/platform.h"
#include "ports/loaded_port_library.h"

namespace app {

namespace {

void print(const std::string& text) { platform::printText(std::string_view(text)); }

} // namespace

int printLibraryPortList(const std::string& configPath, const std::string& libraryPath) {
    const ports::LoadedPortLibrary::Loading loading = ports::LoadedPortLibrary::load(libraryPath);
    if (!loading.library) {
        print("SkarvelConfig: " + loading.failure + "\n");
        return 2;
    }
    const config::PortList list =
        config::portList(*loading.library, configPath, {{"PORT", 12}, {"NUMBER", 8}, {"CONFIGURABLE", 14}, {}, {}});
    platform::printText(std::u16string_view(list.table));
    if (!list.note.empty()) print(list.note);
    return 0;
}

int runCommand(const std::vector<std::string>& parameters, const CommandSetup& setup) {
    if (const auto answer = answerInstead(parameters, setup.helpFor, setup.defaultConfig)) {
        print(answer->text);
        return answer->status;
    }
    if (const auto configPath = optionFile(parameters, "--list", setup.defaultConfig)) {
        return setup.listPorts(*configPath);
    }
    const WatchedRun run = runWatched(parameters);
    if (!setup.metricsPath.empty()) {
        RunMetrics metrics{run.outcome, static_cast<std::int64_t>(std::time(nullptr)), {}};
        base::RunLog ignored;
        if (const auto configuration = config::loadConfiguration(runPaths(parameters).configPath, ignored);
            configuration && !run.log.empty()) {
            metrics.ports = portMetrics(*configuration, run.log, ports::readPortRecords(setup.recordsFolder));
        }
        writeMetrics(setup.metricsPath, formatMetrics(metrics));
    }
    return exitStatusOf(run.outcome);
}

} // namespace app
