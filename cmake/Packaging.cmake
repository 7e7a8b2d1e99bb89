# A Debian package of what `cmake --install` installs: the executable and its
# manual page. Build it with `cmake --workflow --preset package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glyphmill)
set(CPACK_PACKAGE_VENDOR "Glyphmill contributors")
set(CPACK_PACKAGE_CONTACT "Glyphmill maintainers <maintainers@glyphmill.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://glyphmill.example.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console filter for line ends, entities, URI escapes and code pages")
# Wrapped by hand: the Debian control file shows each line as it is.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Glyphmill converts 8-bit text from a file or standard input to a file or"
  "standard output, one conversion per run: line ends to the Unix, Windows or"
  "classic Macintosh convention, HTML or XML character entities in either"
  "direction, URI percent escapes in either direction, or text between code"
  "pages 437 and 1252. It streams in bounded memory and reports every I/O"
  "failure.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps computes Depends from the libraries the executable links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
