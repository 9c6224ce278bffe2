#include <cstdio>

#include "app/options_asked.h"
#include "app/run_sequence.h"
#include "platform/platform.h"
#include "ports/linked_port_library.h"
#include "ports/port_stage.h"

int main(int argc, char** argv) {
    return platform::guardedMain([&] {
        const std::vector<std::string> parameters = platform::commandLineParameters(argc, argv);
        // Answered before any file or port is touched.
        if (platform::answersHelpAndVersion()) {
            const std::string defaultConfig = app::defaultRunPaths().configPath;
            if (const auto answer = app::answerInstead(parameters, app::HelpFor::program, defaultConfig)) {
                std::fputs(answer->text.c_str(), stdout);
                return answer->status;
            }
        }
        ports::LinkedPortLibrary library;
        app::runSkarvelConfig(parameters, [&](ports::ModeTable& modeTable, base::RunLog& log) {
            ports::applyModes(library, ports::enumeratePorts(library), modeTable, log);
        });
        return 0;
    });
}
