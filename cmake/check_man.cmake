# Formats each manual page DIR/*.1 as man-db does, with groff's warnings on, and reads its whatis
# line as mandb does: a warning, an error or a page without a NAME line fails.
file(GLOB pages ${DIR}/*.1)
foreach(page ${pages})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80
    man --warnings -E UTF-8 -l -Tutf8 -Z ${page}
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE warnings)
  if(NOT status EQUAL 0 OR warnings)
    message(FATAL_ERROR "${page} (${status}):\n${warnings}")
  endif()
  execute_process(COMMAND lexgrog ${page} RESULT_VARIABLE status OUTPUT_VARIABLE whatis ERROR_VARIABLE whatis)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${page}: no whatis line: ${whatis}")
  endif()
endforeach()
if(NOT pages)
  message(FATAL_ERROR "no manual pages in ${DIR}")
endif()
