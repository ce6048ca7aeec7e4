# Run by cpack on its staging tree, before it packs: strips the programs as Debian's dh_strip does,
# of their symbols and of the compiler's .comment and .note sections.
file(GLOB programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*)
if(NOT programs)
  message(FATAL_ERROR "no programs in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin")
endif()
foreach(program ${programs})
  execute_process(COMMAND ${CPACK_QLX_STRIP} --remove-section=.comment --remove-section=.note ${program}
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CPACK_QLX_STRIP} ${program} failed (${status})")
  endif()
endforeach()
