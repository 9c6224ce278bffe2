#include <new>
#include <stdexcept>

#include "app/run_sequence.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    platform::installFailureReport();
    try {
        runSkarvelConfig(platform::commandLineParameters(argc, argv), [](ModeTable&, RunLog&) {});
    } catch (const std::bad_alloc&) {
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    } catch (const std::length_error&) {
        // A container asked to outgrow what the process can address.
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    }
    return 0;
}
