// SkarvelConfigRun, what the Linux skarvelconfig command runs, with the
// packaged configuration and log as its first parameters: the job done by the
// program beside it, one run at a time, its log shown and judged; --check
// and --list read the packaged configuration unless a file follows them, and
// the list comes from SkarvelConfigPorts beside it.

#include "app/command.h"
#include "base/packaged_paths.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    return platform::guardedMain([&] {
        return app::runCommand(platform::commandLineParameters(argc, argv),
                               {app::HelpFor::program, base::packagedConfigPath, [](const std::string& configPath) {
                                    const std::string lister = platform::programDir() + "SkarvelConfigPorts";
                                    const platform::ProgramRun list = platform::runProgram(lister, {configPath});
                                    if (list.started) return list.status;
                                    platform::printText("SkarvelConfig: " + lister + " cannot be started: " +
                                                        list.failure + "\n");
                                    return 2;
                                },
                                base::packagedMetricsPath, base::packagedRecordsFolder});
    });
}
