# 64-bit ARM Linux binaries from Debian's cross compiler, run under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CRUMPLE_LINUX_TRIPLE aarch64-linux-gnu)
set(CRUMPLE_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
