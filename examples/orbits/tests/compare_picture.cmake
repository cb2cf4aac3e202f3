# Draws the default run and compares it byte for byte with the picture kept in the docs.
# The run is bit-reproducible, so any difference means the results changed.
#   cmake -DORBITS=<program> -DOUTPUT=<file> -DEXPECTED=<docs/orbits.svg> -P compare_picture.cmake
execute_process(COMMAND ${ORBITS} --svg ${OUTPUT} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "orbits failed with status ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${EXPECTED} is not the picture of the default run any more. If the change "
                      "of results is intended, draw it again with: orbits --svg ${EXPECTED}")
endif()
