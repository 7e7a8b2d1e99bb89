# Cross build for IBM Z (s390x) Linux, a big-endian host, with Debian's
# g++-s390x-linux-gnu, tests run under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(GLYPHMILL_CROSS_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
