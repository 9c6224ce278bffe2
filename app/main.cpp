#include <cstdio>
#include <new>
#include <stdexcept>

#include "app/configuration_check.h"
#include "app/information_options.h"
#include "app/run_sequence.h"
#include "platform/platform.h"
#include "ports/port_library.h"
#include "ports/port_stage.h"

int main(int argc, char** argv) {
    platform::installFailureReport();
    try {
        const std::vector<std::string> parameters = platform::commandLineParameters(argc, argv);
        // Answered before any file or port is touched.
        if (platform::answersHelpAndVersion()) {
            if (const auto text = informationAskedFor(parameters, HelpFor::program)) {
                std::fputs(text->c_str(), stdout);
                return 0;
            }
            const auto check = configurationCheckAskedFor(parameters, platform::programDir() + "SkarvelConfig.cfg");
            if (check) {
                std::fputs(check->text.c_str(), stdout);
                return check->status;
            }
        }
        LumtorPortLibrary library;
        runSkarvelConfig(parameters, [&](ModeTable& modeTable, RunLog& log) {
            const PortNameList portNames = enumeratePorts(library);
            applyModes(library, portNames, modeTable, log);
        });
    } catch (const std::bad_alloc&) {
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    } catch (const std::length_error&) {
        // A container asked to outgrow what the process can address.
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    }
    return 0;
}
