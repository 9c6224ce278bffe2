// SkarvelConfig.com, the console companion of SkarvelConfig.exe (Windows).

#include "app/command.h"
#include "app/run_sequence.h"
#include "platform/platform.h"
#include "ports/lumtor_ports.h"

int main(int argc, char** argv) {
    return platform::guardedMain([&] {
        const std::string libraryPath = platform::programDir() + windowsLibraryFileName;
        return app::runCommand(platform::commandLineParameters(argc, argv),
                               {app::HelpFor::companion, app::defaultRunPaths().configPath,
                                [&](const std::string& configPath) {
                                    return app::printLibraryPortList(configPath, libraryPath);
                                },
                                {}, {}});
    });
}
