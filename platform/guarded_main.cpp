#include <new>
#include <stdexcept>

#include "platform/platform.h"

namespace platform {

int guardedMain(const std::function<int()>& body) {
    installFailureReport();
    try {
        return body();
    } catch (const std::bad_alloc&) {
        reportEscapedFailure("EOutOfMemory", "Out of memory");
    } catch (const std::length_error&) {
        // A container asked to outgrow what the process can address.
        reportEscapedFailure("EOutOfMemory", "Out of memory");
    }
}

} // namespace platform
