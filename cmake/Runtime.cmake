# Loading the shared C++ runtime costs a run more than converting a small
# file does (about half a millisecond, mostly the dynamic loader relocating
# it), and every find -exec or xargs recipe pays that once per file. So the
# programs carry the parts of the C++ runtime they use; the C library stays
# shared. Not under the sanitizers or the fuzzers, whose runtimes must see the
# C++ runtime's allocations, and not on Windows, whose toolchain file links
# everything statically already.
option(GLYPHMILL_STATIC_CXX_RUNTIME "Link the C++ runtime into the programs" ON)

function(glyphmill_link_cxx_runtime target)
  if(GLYPHMILL_STATIC_CXX_RUNTIME AND NOT WIN32 AND NOT GLYPHMILL_SANITIZE AND NOT GLYPHMILL_BUILD_FUZZ
     AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()
