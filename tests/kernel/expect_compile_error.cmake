# cmake -DCOMPILE_COMMAND=<;-list> -DEXPECTED_DIAGNOSTIC=<regex> -P expect_compile_error.cmake
# Passes when the command fails and its output matches the expected diagnostic.
execute_process(
  COMMAND ${COMPILE_COMMAND}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "expected a build error, but the source compiled")
endif()
if(NOT output MATCHES "${EXPECTED_DIAGNOSTIC}")
  message(FATAL_ERROR "the build failed without the diagnostic '${EXPECTED_DIAGNOSTIC}':\n${output}")
endif()
message(STATUS "build failed as expected with '${EXPECTED_DIAGNOSTIC}'")
