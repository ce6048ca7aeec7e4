# The documents beside the programs, built into build/doc: the manual pages, the changelog and the
# licence as Debian's machine-readable copyright file. Pages and changelog are gzip'd there.
set(qlx_doc ${CMAKE_BINARY_DIR}/doc)

# copyright: the holder and the terms come from LICENSE, the terms indented as a DEP-5 text.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(.+)$")
  message(FATAL_ERROR "LICENSE lacks a \"Copyright (c) YEAR HOLDER\" line before the terms")
endif()
set(holder ${CMAKE_MATCH_1})
string(STRIP "${CMAKE_MATCH_2}" terms)
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms " ${terms}")
configure_file(${PROJECT_SOURCE_DIR}/dist/copyright.in ${qlx_doc}/copyright @ONLY)

# qlx_gzip(IN OUT): a build step that gzips IN into OUT (gzip.cmake); the docs target makes OUT.
set(gzipped)
function(qlx_gzip in out)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${in} -DOUT=${out} -P ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
    DEPENDS ${in} ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake VERBATIM)
  set(gzipped ${gzipped} ${out} PARENT_SCOPE)
endfunction()

qlx_gzip(${PROJECT_SOURCE_DIR}/CHANGELOG ${qlx_doc}/changelog.gz)
foreach(page qlxcopy qlxctl qlxrender)
  configure_file(${PROJECT_SOURCE_DIR}/man/${page}.1 ${qlx_doc}/${page}.1 @ONLY)
  qlx_gzip(${qlx_doc}/${page}.1 ${qlx_doc}/${page}.1.gz)
endforeach()
add_custom_target(docs ALL DEPENDS ${gzipped})

add_test(NAME man_pages COMMAND ${CMAKE_COMMAND} -DDIR=${qlx_doc} -P ${CMAKE_CURRENT_LIST_DIR}/check_man.cmake)
