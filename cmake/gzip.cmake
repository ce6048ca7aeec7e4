# cmake -DIN=FILE -DOUT=FILE.gz -P gzip.cmake: compresses as Debian ships documents, at the
# highest level and without the file's name and time, so that the same text gives the same bytes.
execute_process(COMMAND gzip -9nc ${IN} OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "gzip ${IN} failed (${status})")
endif()
