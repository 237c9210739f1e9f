# 64-bit Windows binaries from Debian's MinGW-w64 cross compilers, run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CRUMPLE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# wine64 itself, not the wine launcher: the launcher insists on the 32-bit half
# whenever it is installed, even for 64-bit programs.
find_program(CRUMPLE_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
if(CRUMPLE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine-run.sh ${CRUMPLE_WINE64})
endif()
