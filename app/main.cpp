#include <new>
#include <stdexcept>

#include "app/run_sequence.h"
#include "platform/platform.h"
#include "ports/lumtor_port_library.h"
#include "ports/port_stage.h"

int main(int argc, char** argv) {
    platform::installFailureReport();
    try {
        LumtorPortLibrary library;
        runSkarvelConfig(platform::commandLineParameters(argc, argv), [&](ModeTable& modeTable, RunLog& log) {
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
