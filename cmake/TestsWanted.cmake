# Resolves GLYPHMILL_BUILD_TESTS=AUTO to ON where GoogleTest is found and OFF
# elsewhere, saying which, for this configure only: a later configure, after
# GoogleTest is installed, builds the tests. A cross build takes GoogleTest
# from the sources Debian's googletest package installs (tests/CMakeLists.txt).
set(GLYPHMILL_GTEST_SOURCE_DIR /usr/src/googletest/googletest CACHE PATH "GoogleTest sources for cross builds")
if(GLYPHMILL_BUILD_TESTS STREQUAL "AUTO")
  if(CMAKE_CROSSCOMPILING)
    set(gtest_found FALSE)
    if(EXISTS ${GLYPHMILL_GTEST_SOURCE_DIR}/CMakeLists.txt)
      set(gtest_found TRUE)
    endif()
  else()
    find_package(GTest QUIET)
    set(gtest_found ${GTest_FOUND})
  endif()
  if(gtest_found)
    set(GLYPHMILL_BUILD_TESTS ON)
  else()
    set(GLYPHMILL_BUILD_TESTS OFF)
    message(STATUS "GoogleTest not found: the programs are built without their tests "
                   "(install googletest and libgtest-dev, or configure with -DGLYPHMILL_BUILD_TESTS=ON to require it)")
  endif()
endif()
