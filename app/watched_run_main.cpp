// SkarvelConfigRun, what the Linux skarvelconfig command runs the job with:
// the program beside it, one run at a time, its log shown and judged.

#include <new>
#include <stdexcept>

#include "app/watched_run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    platform::installFailureReport();
    try {
        return runWatched(platform::commandLineParameters(argc, argv));
    } catch (const std::bad_alloc&) {
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    } catch (const std::length_error&) {
        platform::reportEscapedFailure("EOutOfMemory", "Out of memory");
    }
}
