# What ships: on Linux a Debian package of what `cmake --install` installs (the
# executables, their manual pages, the copyright file and the changelogs), built by
# `cmake --workflow --preset package`; for Windows a zip of glyphmill.exe, the
# README, the licence and the manual page as HTML, built by
# `cmake --workflow --preset windows`. The version is the project's.
set(CPACK_PACKAGE_NAME glyphmill)
set(CPACK_PACKAGE_VENDOR "Glyphmill contributors")
set(CPACK_PACKAGE_CONTACT "Glyphmill maintainers <maintainers@glyphmill.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://glyphmill.example.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console filter for line ends, entities, URI escapes and code pages")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Folders CPack creates are rwxr-xr-x whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Writes a text file with CR LF line ends, for Windows readers.
function(glyphmill_crlf_copy source destination)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination}.new "${text}")
  configure_file(${destination}.new ${destination} COPYONLY)
endfunction()

if(WIN32)
  # glyphmill-<version>-win64.zip with one folder of the same name holding
  # glyphmill.exe and glyphmill-files.exe (installed to the top by
  # CMAKE_INSTALL_BINDIR), README.txt, LICENSE.txt, glyphmill.html and
  # glyphmill-files.html (docs/CMakeLists.txt).
  set(CPACK_GENERATOR ZIP)
  set(zip_dir ${PROJECT_BINARY_DIR}/zip)
  glyphmill_crlf_copy(${PROJECT_SOURCE_DIR}/README.md ${zip_dir}/README.txt)
  glyphmill_crlf_copy(${PROJECT_SOURCE_DIR}/LICENSE ${zip_dir}/LICENSE.txt)
  install(FILES ${zip_dir}/README.txt ${zip_dir}/LICENSE.txt DESTINATION .)
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
# Wrapped by hand: the Debian control file shows each line as it is.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Glyphmill converts 8-bit text from a file or standard input to a file or"
  "standard output, one conversion per run: line ends to the Unix, Windows or"
  "classic Macintosh convention, HTML or XML character entities in either"
  "direction, URI percent escapes in either direction, or text between the OEM"
  "and ANSI code pages Windows gives the locale (437 and 1252 in the US, 850"
  "and 1252 in Western Europe, 866 and 1251 in Russia, and the pairs of every"
  "other locale Windows knows), or between an OEM page and UTF-8, box drawing"
  "included. It streams in bounded memory and reports every I/O failure."
  ""
  "glyphmill-files applies one of those conversions to many files and trees in"
  "place, on every core, keeping each file's mode, owner, extended attributes"
  "and links, and rewriting no file that is already right; --check lists the"
  "files a conversion would change, for continuous integration.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# The Debian architecture of the target: CPack asks dpkg, which names the build
# machine's, so a cross build names it from CMAKE_SYSTEM_PROCESSOR.
if(CMAKE_CROSSCOMPILING)
  string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" processor)
  set(debian_architectures
    "aarch64=arm64" "arm64=arm64" "x86_64=amd64" "amd64=amd64" "s390x=s390x"
    "ppc64le=ppc64el" "riscv64=riscv64" "i386=i386" "i486=i386" "i586=i386" "i686=i386"
    "armv7l=armhf" "armhf=armhf" "mips64el=mips64el" "loongarch64=loong64")
  foreach(pair IN LISTS debian_architectures)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 cpu)
    if(processor STREQUAL cpu)
      list(GET pair 1 CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    endif()
  endforeach()
  if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    message(FATAL_ERROR "no Debian architecture known for CMAKE_SYSTEM_PROCESSOR ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
endif()

# Depends: dpkg-shlibdeps computes it from the libraries the executable links,
# when dpkg knows the target's C library (a native build, or a cross build on a
# machine with libc6:<arch> installed). Otherwise (cross toolchains keep the
# target's libraries outside dpkg's view) it is read from the executable's ELF
# header when the package is made: libc6 at the newest GLIBC symbol version
# used, libstdc++6 and libgcc-s1 when they are linked
# (cmake/DebianDepends.cmake).
set(shlibdeps_work ON)
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND dpkg-query -W -f=\${Status} libc6:${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}
    OUTPUT_VARIABLE libc_status ERROR_QUIET)
  if(NOT libc_status MATCHES "install ok installed")
    set(shlibdeps_work OFF)
  endif()
endif()
set(GLYPHMILL_DEBIAN_SHLIBDEPS ${shlibdeps_work} CACHE BOOL
  "Compute Depends with dpkg-shlibdeps (OFF: from the executable's ELF header)")
if(GLYPHMILL_DEBIAN_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  find_program(GLYPHMILL_READELF NAMES ${CMAKE_READELF} readelf REQUIRED)
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/DebianDependsInput.cmake
    CONTENT "set(GLYPHMILL_EXECUTABLES \"$<TARGET_FILE:glyphmill>;$<TARGET_FILE:glyphmill-files>\")\nset(GLYPHMILL_READELF \"${GLYPHMILL_READELF}\")\n")
  set(CPACK_GLYPHMILL_DEPENDS_INPUT ${PROJECT_BINARY_DIR}/DebianDependsInput.cmake)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/DebianDepends.cmake)
endif()

# /usr/share/doc/glyphmill: the licence in Debian's machine-readable copyright
# format, the Debian changelog and the project's, each changelog gzip -9n.
set(doc_dir ${PROJECT_BINARY_DIR}/debian-doc)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
# The MIT text after its copyright line, each line indented, empty lines as " .".
string(REGEX REPLACE "^.*\nCopyright \\(c\\) [^\n]*\n\n" "" licence "${licence}")
string(REGEX REPLACE "\n+$" "" licence "${licence}")
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REGEX REPLACE "\n" "\n " licence "${licence}")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence_head)
string(REGEX MATCH "Copyright \\(c\\) ([0-9-]+) ([^\n]*)" copyright_line "${licence_head}")
set(copyright_holder "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
file(WRITE ${doc_dir}/copyright.new
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: glyphmill
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}
Source: ${CPACK_PACKAGE_HOMEPAGE_URL}

Files: *
Copyright: ${copyright_holder}
License: Expat

License: Expat
 ${licence}
")
configure_file(${doc_dir}/copyright.new ${doc_dir}/copyright COPYONLY)

# The top entry of the Debian changelog must be this version.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog changelog_top LIMIT_COUNT 1)
set(debian_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
if(NOT changelog_top MATCHES "^glyphmill \\(${debian_version}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with '${changelog_top}', "
    "not with an entry for glyphmill ${debian_version}")
endif()
find_program(GLYPHMILL_GZIP gzip REQUIRED)
set(doc_files ${doc_dir}/copyright)
foreach(pair "packaging/debian/changelog=changelog.Debian.gz" "docs/CHANGELOG.md=changelog.gz")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 name)
  add_custom_command(OUTPUT ${doc_dir}/${name}
    COMMAND ${GLYPHMILL_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/${source} > ${doc_dir}/${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND doc_files ${doc_dir}/${name})
endforeach()
add_custom_target(debian_doc ALL DEPENDS ${doc_files})
install(FILES ${doc_files} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/glyphmill)
# lintian reads the overrides the package ships; each one says why.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME glyphmill)

include(CPack)
