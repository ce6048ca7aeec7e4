# `cpack` in the build folder makes qlxcopy_<version>_<arch>.deb from the install rules. Its
# Depends line comes from dpkg-shlibdeps (dpkg-dev), which reads the libraries the programs link.
set(QLX_PACKAGE_MAINTAINER "QLXCopy maintainers <maintainers@qlxcopy.invalid>" CACHE STRING
  "Maintainer field of the .deb: Name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qlxcopy)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copies screen hardcopies from a QLX radio tester to the PC")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "QLXCopy lists the screen hardcopies (Windows Metafiles) in the print directory of"
  "a QLX radio-communication tester, copies them into a folder on the PC, shows them,"
  "puts them on the clipboard and deletes them on the tester, over GPIB or RS-232."
  "qlxrender converts such metafiles into PNG, SVG or PDF files for reports.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QLX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

add_test(NAME deb_package COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
  -DOUT=${CMAKE_BINARY_DIR}/deb-check -P ${CMAKE_CURRENT_LIST_DIR}/check_package.cmake)
