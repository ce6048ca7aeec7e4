# Installing like any Linux program: the programs into bin/; a desktop entry, its icon and the
# Windows Metafile MIME type under share/. `cpack -G DEB` packs the same into a .deb (package.cmake).
include(GNUInstallDirs)

# Run at the end of the top-level CMakeLists.txt, when every program is defined.
function(qlx_install_programs)
  install(TARGETS qlxcopy qlxrender RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET qlxctl)
    install(TARGETS qlxctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endfunction()
cmake_language(DEFER CALL qlx_install_programs)

set(dist ${PROJECT_SOURCE_DIR}/dist)
install(FILES ${dist}/qlxcopy.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dist}/qlxcopy.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${dist}/qlxcopy.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

add_test(NAME install_tree COMMAND ${CMAKE_COMMAND}
  -DBUILD_DIR=${CMAKE_BINARY_DIR} -DPREFIX=${CMAKE_BINARY_DIR}/install-check
  -DSAMPLE=${PROJECT_SOURCE_DIR}/fuzz/corpus/wmf/text.wmf -DWITH_QLXCTL=$<TARGET_EXISTS:qlxctl>
  -P ${CMAKE_CURRENT_LIST_DIR}/check_install.cmake)
set_tests_properties(install_tree PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
