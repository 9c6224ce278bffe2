#include <new>
#include <stdexcept>

#include "app/console_companion.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    platform::installFailureReport();
    try {
        return runConsoleCompanion(platform::commandLineParameters(argc, argv));
    } catch (const std::bad_alloc&) {
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    } catch (const std::length_error&) {
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    }
}
