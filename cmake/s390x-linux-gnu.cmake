# Cross build for IBM Z (s390x) Linux, a big-endian host, with Debian's cross
# compiler (g++-s390x-linux-gnu). The target's C and C++ runtimes live under
# /usr/s390x-linux-gnu; qemu-user runs every test program with them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(GLYPHMILL_CROSS_TRIPLE s390x-linux-gnu)
set(CMAKE_C_COMPILER ${GLYPHMILL_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${GLYPHMILL_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${GLYPHMILL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs, test discovery and the end-to-end launcher run the target's
# executables through this.
set(CMAKE_CROSSCOMPILING_EMULATOR "qemu-s390x;-L;/usr/${GLYPHMILL_CROSS_TRIPLE}")
