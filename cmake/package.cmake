# `cpack` in the build folder makes qlxcopy_<version>_<arch>.deb from the install rules. Its
# Depends line comes from dpkg-shlibdeps (dpkg-dev), which reads the libraries the programs link.
set(QLX_PACKAGE_MAINTAINER "QLXCopy maintainers <maintainers@qlxcopy.invalid>" CACHE STRING
  "Maintainer field of the .deb: Name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qlxcopy)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copies screen hardcopies from a QLX radio tester to the PC")
# Lines of at most 79 columns, as Debian's tools display them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "QLXCopy lists the screen hardcopies (Windows Metafiles) in the print directory"
  "of a QLX radio-communication tester, copies them into a folder on the PC, shows"
  "them, puts them on the clipboard and deletes them on the tester, over GPIB or"
  "RS-232. qlxctl does the same on the command line; qlxrender draws such"
  "metafiles into PNG, SVG or PDF files.")
# The programs are stripped in cpack's staging tree as dh_strip would (strip_package.cmake).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip_package.cmake)
set(CPACK_QLX_STRIP ${CMAKE_STRIP})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QLX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

add_test(NAME deb_package COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
  -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUT=${CMAKE_BINARY_DIR}/deb-check
  -P ${CMAKE_CURRENT_LIST_DIR}/check_package.cmake)
