# Runs PROGRAM --inputs and fails unless its output equals the file EXPECTED byte for byte.
execute_process(COMMAND ${PROGRAM} --inputs OUTPUT_VARIABLE actual RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --inputs exited with ${status}")
endif()
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "the battery differs from ${EXPECTED}; regenerate it with `vorn_bitexact --inputs`")
endif()
