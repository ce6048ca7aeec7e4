# run_checked(VAR COMMAND...): runs COMMAND, stops the script with its output if it fails, and
# otherwise puts what it printed into VAR.
function(run_checked var)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${status}):\n${out}")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()
