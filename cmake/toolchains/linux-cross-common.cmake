# Shared by the Linux cross toolchain files; CRUMPLE_LINUX_TRIPLE names the
# target and CRUMPLE_QEMU the user-mode emulator that runs its programs here.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${CRUMPLE_LINUX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CRUMPLE_LINUX_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${CRUMPLE_LINUX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under qemu-user, which finds the target's C and C++
# runtimes in Debian's cross sysroot.
find_program(CRUMPLE_QEMU_PATH NAMES ${CRUMPLE_QEMU} NO_CACHE)
if(CRUMPLE_QEMU_PATH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CRUMPLE_QEMU_PATH} -L /usr/${CRUMPLE_LINUX_TRIPLE})
endif()
