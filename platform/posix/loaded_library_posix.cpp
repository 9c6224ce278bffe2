#include <dlfcn.h>

#include "platform/loaded_library.h"

namespace platform {

// Every function bound at once and kept to itself: a library that lacks one
// it needs fails here, not at a call, and lends nothing to later ones.
LoadedLibrary::LoadedLibrary(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_) return;
    const char* why = dlerror();
    failure_ = why ? why : "unknown reason";
    // The loader names the file first; the caller names it already.
    if (failure_.rfind(path + ": ", 0) == 0) failure_.erase(0, path.size() + 2);
}

LoadedLibrary::~LoadedLibrary() {
    if (handle_) dlclose(handle_);
}

void* LoadedLibrary::function(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

} // namespace platform
