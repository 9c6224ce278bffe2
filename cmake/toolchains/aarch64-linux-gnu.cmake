# Cross-compiling for 64-bit ARM Linux with Debian's aarch64-linux-gnu tools.
set(LINUX_TRIPLE aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
