# Read by cpack (CPACK_PROJECT_CONFIG_FILE) when dpkg-shlibdeps cannot see the
# target's libraries, as in a cross build: the Depends of the Debian package
# from the executable's ELF header. libc6 is versioned by the newest GLIBC_x.y
# symbol version the executable uses; libstdc++6 and libgcc-s1 are named when
# they are linked, at the version of the toolchain's own symbols, which any
# release that has the library provides.
include(${CPACK_GLYPHMILL_DEPENDS_INPUT})
execute_process(COMMAND ${GLYPHMILL_READELF} -W --dynamic --dyn-syms ${GLYPHMILL_EXECUTABLE}
  OUTPUT_VARIABLE elf RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${GLYPHMILL_READELF} could not read ${GLYPHMILL_EXECUTABLE}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" needed "${elf}")
string(REGEX MATCHALL "@GLIBC_[0-9.]+" glibc_versions "${elf}")
set(libc_version 2.2.5)
foreach(version IN LISTS glibc_versions)
  string(REPLACE "@GLIBC_" "" version "${version}")
  if(version VERSION_GREATER libc_version)
    set(libc_version ${version})
  endif()
endforeach()
set(depends)
foreach(entry IN LISTS needed)
  string(REGEX REPLACE ".*\\[(.*)\\]" "\\1" library "${entry}")
  if(library MATCHES "^(libc|libm|libdl|libpthread|librt)\\.so\\.|^ld-linux")
    list(APPEND depends "libc6 (>= ${libc_version})")
  elseif(library STREQUAL "libstdc++.so.6")
    list(APPEND depends "libstdc++6")
  elseif(library STREQUAL "libgcc_s.so.1")
    list(APPEND depends "libgcc-s1")
  else()
    message(FATAL_ERROR "${GLYPHMILL_EXECUTABLE} links ${library}, which has no Debian package here")
  endif()
endforeach()
list(REMOVE_DUPLICATES depends)
list(SORT depends)
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
message(STATUS "Depends (from the ELF header): ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
