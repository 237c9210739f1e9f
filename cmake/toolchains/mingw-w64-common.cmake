# Shared by the MinGW-w64 toolchain files; CRUMPLE_MINGW_TRIPLE names the target.
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model
# of this compiler lacks. The plug-in itself starts no threads.
set(CMAKE_C_COMPILER ${CRUMPLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CRUMPLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CRUMPLE_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CRUMPLE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libgcc, libstdc++, winpthread) goes inside each
# binary, so the two DLLs need nothing beside them but the system's DLLs.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Release DLLs ship without symbol tables.
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
