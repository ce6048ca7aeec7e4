# Installs BUILD_DIR into a fresh PREFIX and checks the result: the programs and the documents are
# there, the installed qlxrender runs on its own and `man` finds the pages; the desktop entry is
# valid; the MIME package maps *.wmf.
include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)

file(REMOVE_RECURSE ${PREFIX})
run_checked(ignored ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})

set(expected bin/qlxcopy bin/qlxrender share/applications/qlxcopy.desktop
  share/icons/hicolor/scalable/apps/qlxcopy.svg share/mime/packages/qlxcopy.xml
  share/metainfo/io.github.qlxcopy.qlxcopy.metainfo.xml share/doc/qlxcopy/copyright
  share/doc/qlxcopy/changelog.gz share/man/man1/qlxcopy.1.gz share/man/man1/qlxrender.1.gz
  share/bash-completion/completions/qlxrender)
set(pages qlxcopy qlxrender)
if(WITH_QLXCTL)
  list(APPEND expected bin/qlxctl share/man/man1/qlxctl.1.gz share/bash-completion/completions/qlxctl)
  list(APPEND pages qlxctl)
endif()
foreach(file ${expected})
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${PREFIX}/${file}")
  endif()
endforeach()

run_checked(ignored ${PREFIX}/bin/qlxrender ${SAMPLE} ${PREFIX}/sample.png)
foreach(page ${pages})
  run_checked(shown man -M ${PREFIX}/share/man -P cat ${page})
  if(NOT shown MATCHES "NAME\n +${page} ")
    message(FATAL_ERROR "man ${page} shows:\n${shown}")
  endif()
endforeach()
run_checked(complaints desktop-file-validate ${PREFIX}/share/applications/qlxcopy.desktop)
if(complaints)
  message(FATAL_ERROR "desktop-file-validate:\n${complaints}")
endif()

run_checked(ignored update-mime-database ${PREFIX}/share/mime)
file(STRINGS ${PREFIX}/share/mime/globs2 glob REGEX ":image/wmf:\\*\\.wmf$")
file(STRINGS ${PREFIX}/share/mime/aliases alias REGEX "^image/x-wmf image/wmf$")
if(NOT glob OR NOT alias)
  message(FATAL_ERROR "the MIME package does not map *.wmf to image/wmf (alias image/x-wmf)")
endif()
