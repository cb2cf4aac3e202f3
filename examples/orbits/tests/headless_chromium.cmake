# Headless chromium for the viewer tests: every run gets a fresh profile and no network, and
# nothing is left running after its timeout. CHROMIUM and OUT_DIR must be set.
#   run_chromium(<url> <budget ms> <width,height> <result variable> <extra flags...>)
# sets the result variable to what chromium printed (the DOM with --dump-dom).
set(chromium_flags --headless --no-sandbox --disable-gpu --disable-quic --no-first-run
    --disable-background-networking --disable-component-update --disable-sync
    --disable-extensions --mute-audio --hide-scrollbars)
function(run_chromium url budget_ms window result_var)
  string(RANDOM LENGTH 12 profile_name)
  set(profile "${OUT_DIR}/profile-${profile_name}")
  execute_process(
    COMMAND "${CHROMIUM}" ${chromium_flags} --window-size=${window} --user-data-dir=${profile}
            --virtual-time-budget=${budget_ms} ${ARGN} "${url}"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 90)
  file(REMOVE_RECURSE "${profile}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "chromium failed (${status}):\n${errors}")
  endif()
  set(${result_var} "${output}" PARENT_SCOPE)
endfunction()
