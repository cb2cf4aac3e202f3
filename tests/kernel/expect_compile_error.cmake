# cmake -DCXX=<compiler> -DINCLUDE_DIR=<dir> -DSOURCE=<file> -DCASE=<name>
#       -DEXPECTED_DIAGNOSTIC=<regex> -P expect_compile_error.cmake
# Compiles SOURCE with VORN_CASE_<CASE> defined; passes when that fails with the expected
# diagnostic.
execute_process(
  COMMAND "${CXX}" -std=c++20 -fsyntax-only -ffp-contract=off "-I${INCLUDE_DIR}"
          "-DVORN_CASE_${CASE}" "${SOURCE}"
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
