# vorn_discover_tests(TARGET
#                     [RUNNER runner-target]          default: vorn-run
#                     [TEST_PREFIX prefix]            prepended to every CTest name
#                     [TIMEOUT seconds]               vorn-run's per-test --timeout, default 60
#                     [DISCOVERY_TIMEOUT seconds]     for listing the tests, default 30
#                     [ENVIRONMENT VAR=value...])     for listing and for every test
#
# Registers every registered test of TARGET, an executable that speaks server mode, as a CTest
# test of its own, run through vorn-run. The list is taken when ctest runs (and taken again
# whenever TARGET or the runner is newer than the last list), so `ctest -N`, `ctest -R`,
# `ctest -j` and `ctest --output-junit` all see the registered tests one by one.
#
# Each test runs `vorn-run --exact NAME TARGET`: names hold blanks, brackets, quotes and
# non-ASCII text, and are written into the generated CTest script as bracket arguments, which
# carry any text unchanged. A stale name (the table changed since the list was taken) fails
# its test with status 2 rather than passing by running nothing.

if(NOT VORN_DISCOVER_SCRIPT_MODE)

set(_VORN_DISCOVER_TESTS_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

function(vorn_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "RUNNER;TEST_PREFIX;TIMEOUT;DISCOVERY_TIMEOUT" "ENVIRONMENT")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vorn_discover_tests: unexpected arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_RUNNER)
    set(arg_RUNNER vorn-run)
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 60)
  endif()
  if(NOT arg_DISCOVERY_TIMEOUT)
    set(arg_DISCOVERY_TIMEOUT 30)
  endif()

  set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}_vorn")
  # With several configurations in one build tree each has its own executable and its own list.
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  set(suffix "")
  if(multi_config)
    set(suffix "-$<CONFIG>")
  endif()
  # The generated script runs inside ctest, where nothing of this configure step is known:
  # hand it every value, each as a bracket argument.
  file(GENERATE OUTPUT "${base}_include${suffix}.cmake" CONTENT
"set(VORN_DISCOVER_SCRIPT_MODE TRUE)
set(VORN_DISCOVER_TARGET [==[${target}]==])
set(VORN_DISCOVER_CMAKE [==[${CMAKE_COMMAND}]==])
set(VORN_DISCOVER_EXECUTABLE [==[$<TARGET_FILE:${target}>]==])
set(VORN_DISCOVER_RUNNER [==[$<TARGET_FILE:${arg_RUNNER}>]==])
set(VORN_DISCOVER_PREFIX [==[${arg_TEST_PREFIX}]==])
set(VORN_DISCOVER_TIMEOUT [==[${arg_TIMEOUT}]==])
set(VORN_DISCOVER_DISCOVERY_TIMEOUT [==[${arg_DISCOVERY_TIMEOUT}]==])
set(VORN_DISCOVER_ENVIRONMENT [==[${arg_ENVIRONMENT}]==])
set(VORN_DISCOVER_WORKING_DIRECTORY [==[${CMAKE_CURRENT_BINARY_DIR}]==])
set(VORN_DISCOVER_TESTS_FILE [==[${base}_tests${suffix}.cmake]==])
include([==[${_VORN_DISCOVER_TESTS_SCRIPT}]==])
set(VORN_DISCOVER_SCRIPT_MODE FALSE)
")
  if(multi_config)
    file(WRITE "${base}_include.cmake"
"set(vorn_config_include [==[${base}_include-]==])
string(APPEND vorn_config_include \"\${CTEST_CONFIGURATION_TYPE}.cmake\")
if(EXISTS \"\${vorn_config_include}\")
  include(\"\${vorn_config_include}\")
else()
  add_test([==[${arg_TEST_PREFIX}${target}_NOT_BUILT]==] [==[${target}_NOT_BUILT]==])
endif()
")
  endif()
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${base}_include.cmake")
endfunction()

else()

# ---- run by ctest through the generated include file ----

# ctest reads its files with the oldest policies; this script is written for current ones.
cmake_policy(VERSION 3.25)

# `text` as a bracket argument: [=[...]=] with enough '=' that the text cannot close it.
function(_vorn_bracket text out)
  set(level "=")
  string(FIND "${text}" "]${level}]" at)
  while(NOT at EQUAL -1)
    string(APPEND level "=")
    string(FIND "${text}" "]${level}]" at)
  endwhile()
  set(${out} "[${level}[${text}]${level}]" PARENT_SCOPE)
endfunction()

# A test that always fails with `reason`, so a broken discovery shows up in every ctest run.
function(_vorn_discovery_failed name reason)
  _vorn_bracket("${name}" quoted_name)
  _vorn_bracket("${reason}" quoted_reason)
  set(script "add_test(${quoted_name} [==[${VORN_DISCOVER_CMAKE}]==] -E echo ${quoted_reason})\n")
  string(APPEND script "set_tests_properties(${quoted_name} PROPERTIES WILL_FAIL TRUE)\n")
  cmake_language(EVAL CODE "${script}")
endfunction()

function(_vorn_discover)
  if(NOT EXISTS "${VORN_DISCOVER_EXECUTABLE}" OR NOT EXISTS "${VORN_DISCOVER_RUNNER}")
    _vorn_discovery_failed("${VORN_DISCOVER_PREFIX}${VORN_DISCOVER_TARGET}_NOT_BUILT"
      "${VORN_DISCOVER_EXECUTABLE} or ${VORN_DISCOVER_RUNNER} is not built")
    return()
  endif()

  set(tests_file "${VORN_DISCOVER_TESTS_FILE}")
  if(EXISTS "${tests_file}"
     AND NOT "${VORN_DISCOVER_EXECUTABLE}" IS_NEWER_THAN "${tests_file}"
     AND NOT "${VORN_DISCOVER_RUNNER}" IS_NEWER_THAN "${tests_file}")
    include("${tests_file}")
    return()
  endif()

  execute_process(
    COMMAND "${VORN_DISCOVER_CMAKE}" -E env ${VORN_DISCOVER_ENVIRONMENT}
            "${VORN_DISCOVER_RUNNER}" --list --timeout "${VORN_DISCOVER_DISCOVERY_TIMEOUT}"
            "${VORN_DISCOVER_EXECUTABLE}"
    WORKING_DIRECTORY "${VORN_DISCOVER_WORKING_DIRECTORY}"
    TIMEOUT ${VORN_DISCOVER_DISCOVERY_TIMEOUT}
    OUTPUT_VARIABLE listing
    ERROR_VARIABLE errors
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    # No list is written, so the next ctest run tries again.
    string(STRIP "${errors}" errors)
    _vorn_discovery_failed("${VORN_DISCOVER_PREFIX}${VORN_DISCOVER_TARGET}_DISCOVERY_FAILED"
      "listing the tests of ${VORN_DISCOVER_EXECUTABLE} failed (${status}): ${errors}")
    return()
  endif()

  _vorn_bracket("${VORN_DISCOVER_RUNNER}" runner)
  _vorn_bracket("${VORN_DISCOVER_EXECUTABLE}" executable)
  _vorn_bracket("${VORN_DISCOVER_ENVIRONMENT}" environment)
  _vorn_bracket("${VORN_DISCOVER_WORKING_DIRECTORY}" working_directory)
  _vorn_bracket("${VORN_DISCOVER_TIMEOUT}" timeout)
  # Split on line ends by hand: list operations would break names at ';' and '['.
  set(script "")
  while(NOT listing STREQUAL "")
    string(FIND "${listing}" "\n" end)
    if(end EQUAL -1)
      set(name "${listing}")
      set(listing "")
    else()
      string(SUBSTRING "${listing}" 0 ${end} name)
      math(EXPR rest_at "${end} + 1")
      string(SUBSTRING "${listing}" ${rest_at} -1 listing)
    endif()
    if(name STREQUAL "")
      continue()
    endif()
    _vorn_bracket("${VORN_DISCOVER_PREFIX}${name}" test_name)
    _vorn_bracket("${name}" exact_name)
    string(APPEND script
      "add_test(${test_name} ${runner} --timeout ${timeout} --exact ${exact_name} ${executable})\n"
      "set_tests_properties(${test_name} PROPERTIES\n"
      "  WORKING_DIRECTORY ${working_directory}\n"
      "  SKIP_REGULAR_EXPRESSION \"[.][.][.]SKIP\\n\"\n")
    if(NOT VORN_DISCOVER_ENVIRONMENT STREQUAL "")
      string(APPEND script "  ENVIRONMENT ${environment}\n")
    endif()
    string(APPEND script ")\n")
  endwhile()
  file(WRITE "${tests_file}" "${script}")
  include("${tests_file}")
endfunction()

_vorn_discover()

endif()
