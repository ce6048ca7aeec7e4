# Installing like any Linux program: the programs into bin/ with their manual pages; a desktop
# entry, its icon, AppStream metadata, the Windows Metafile MIME type, the bash completion, the
# licence and the changelog under share/. `cpack -G DEB` packs the same into a .deb (package.cmake).
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/docs.cmake)

set(dist ${PROJECT_SOURCE_DIR}/dist)
set(man1 ${CMAKE_INSTALL_MANDIR}/man1)

# Run at the end of the top-level CMakeLists.txt, when every program is defined.
function(qlx_install_programs)
  install(TARGETS qlxcopy qlxrender RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${qlx_doc}/qlxcopy.1.gz ${qlx_doc}/qlxrender.1.gz DESTINATION ${man1})
  install(FILES ${dist}/qlxrender.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME qlxrender)
  if(TARGET qlxctl)
    install(TARGETS qlxctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${qlx_doc}/qlxctl.1.gz DESTINATION ${man1})
    install(FILES ${dist}/qlxctl.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
      RENAME qlxctl)
  endif()
endfunction()
cmake_language(DEFER CALL qlx_install_programs)

install(FILES ${dist}/qlxcopy.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dist}/qlxcopy.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${dist}/io.github.qlxcopy.qlxcopy.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${dist}/qlxcopy.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
# Debian's names and places, not CMAKE_INSTALL_DOCDIR (which would be share/doc/QLXCopy).
install(FILES ${qlx_doc}/copyright ${qlx_doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qlxcopy)

add_test(NAME metainfo COMMAND appstreamcli validate --no-net --strict
  ${dist}/io.github.qlxcopy.qlxcopy.metainfo.xml)
add_test(NAME bash_completion COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_completion.bash ${dist}/qlxctl.bash
  ${dist}/qlxrender.bash)

add_test(NAME install_tree COMMAND ${CMAKE_COMMAND}
  -DBUILD_DIR=${CMAKE_BINARY_DIR} -DPREFIX=${CMAKE_BINARY_DIR}/install-check
  -DSAMPLE=${PROJECT_SOURCE_DIR}/fuzz/corpus/wmf/text.wmf -DWITH_QLXCTL=$<TARGET_EXISTS:qlxctl>
  -P ${CMAKE_CURRENT_LIST_DIR}/check_install.cmake)
set_tests_properties(install_tree PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
