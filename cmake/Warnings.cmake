# Warnings are attached to our own targets through an INTERFACE library linked
# PRIVATE, so third-party code (GoogleTest, Google Benchmark) is not affected.
add_library(glyphmill_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(glyphmill_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
  if(GLYPHMILL_WERROR)
    target_compile_options(glyphmill_warnings INTERFACE -Werror)
  endif()
endif()
