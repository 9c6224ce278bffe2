# Cross-compiling for 32-bit ARM Linux (Debian's armhf: ARMv7, hard float)
# with Debian's arm-linux-gnueabihf tools.
set(LINUX_TRIPLE arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)

# GCC notes that the ABI for passing some iterators changed in GCC 7.1: every
# part here is built by this one compiler, so the note says nothing.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
