# 32-bit Windows binaries from Debian's MinGW-w64 cross compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CRUMPLE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# SSE2 arithmetic, so no x87 extended precision rounds a float result twice.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Running 32-bit programs needs a Wine with its 32-bit half and a kernel that
# executes 32-bit code; give -DCRUMPLE_X86_EMULATOR=<wine> where both exist.
if(CRUMPLE_X86_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine-run.sh ${CRUMPLE_X86_EMULATOR})
endif()
