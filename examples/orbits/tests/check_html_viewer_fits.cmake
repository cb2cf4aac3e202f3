# The viewer page at 1000 and at 800 px wide: every control and the legend within the window,
# one numbering of frames and steps everywhere (#frame=N shows frame N), and zoom and pan by
# buttons, wheel, pinch, shift-drag and keys (see viewer_probe.js, added to a copy of the page).
#   cmake -DORBITS=... -DCHROMIUM=... -DOUT_DIR=... -P check_html_viewer_fits.cmake
if(NOT CHROMIUM)
  message("chromium not found: the HTML viewer test is skipped (install Debian's chromium to run it)")
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/headless_chromium.cmake)

file(REMOVE_RECURSE "${OUT_DIR}")
file(MAKE_DIRECTORY "${OUT_DIR}")
# The default run: 4000 steps in 1001 frames, four steps apart.
execute_process(
  COMMAND "${ORBITS}" --html "${OUT_DIR}/viewer.html"
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE orbits_error TIMEOUT 120)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "orbits --html failed (${status}): ${orbits_error}")
endif()
file(READ "${OUT_DIR}/viewer.html" page)
file(READ "${CMAKE_CURRENT_LIST_DIR}/viewer_probe.js" probe)
string(REPLACE "</body>" "<script>\n${probe}</script>\n</body>" page "${page}")
file(WRITE "${OUT_DIR}/probe.html" "${page}")

# The window is a little taller than the page's view, which loses the height of the browser's bars.
foreach(window 1000,860 800,700)
  run_chromium("file://${OUT_DIR}/probe.html#frame=790&paused" 3000 ${window} dom --dump-dom)
  string(REGEX MATCH "<pre id=\"probe\">[^<]*" found "${dom}")
  string(REGEX MATCH "<div id=\"status\"[^>]*>[^<]*" status_line "${dom}")
  if(NOT found MATCHES "done")
    message(FATAL_ERROR "at ${window}: the probe did not finish; did the page load?\n${status_line}")
  endif()
  if(found MATCHES "FAIL")
    message(FATAL_ERROR "at ${window}:\n${found}")
  endif()
  if(NOT status_line MATCHES "data-frame=\"790\"" OR NOT status_line MATCHES ">frame 790 of 1000, step 3160 of 4000")
    message(FATAL_ERROR "at ${window}, #frame=790 does not show frame 790 (step 3160): ${status_line}")
  endif()
  if(NOT dom MATCHES "id=\"scrub\"[^>]* value=\"790\"" AND NOT dom MATCHES "value=\"790\"[^>]* id=\"scrub\"")
    message("note: the slider's value attribute is not in the DOM dump")
  endif()
  message("viewer fits at ${window}: ${found}")
endforeach()
