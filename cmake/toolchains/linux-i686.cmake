# 32-bit x86 Linux binaries from Debian's cross compiler, run under qemu-i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CRUMPLE_LINUX_TRIPLE i686-linux-gnu)
set(CRUMPLE_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)

# SSE2 arithmetic, as the Windows x86 build: no x87 extended precision
# rounds a float result twice.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
