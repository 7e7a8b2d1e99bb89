# Shared by the Linux cross toolchain files: Debian's cross compiler for
# GLYPHMILL_CROSS_TRIPLE, whose C and C++ runtimes live under
# /usr/<triple>, and qemu-user (qemu-<CMAKE_SYSTEM_PROCESSOR>) to run every
# test program, test discovery and the end-to-end launcher with them.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${GLYPHMILL_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${GLYPHMILL_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${GLYPHMILL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "qemu-${CMAKE_SYSTEM_PROCESSOR};-L;/usr/${GLYPHMILL_CROSS_TRIPLE}")
