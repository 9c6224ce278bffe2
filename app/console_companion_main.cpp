#include <new>
#include <stdexcept>

#include "app/console_companion.h"
#include "platform/platform.h"

int main() {
    platform::installFailureReport();
    try {
        return runConsoleCompanion();
    } catch (const std::bad_alloc&) {
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    } catch (const std::length_error&) {
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    }
}
