# The HTML viewer in a real browser: a small run writes the page; it must pass xmllint's
# HTML parser without a message, load in headless chromium without a script error, paint
# its canvas, and move: screenshots after a short and a longer play differ.
#   cmake -DORBITS=... -DCHROMIUM=... -DXMLLINT=... -DOUT_DIR=... -P check_html_viewer.cmake
# Headless chromium gives the page only a few display refreshes, whatever the time budget,
# so "it moves" compares the page opened paused on its first frame with the page playing.
if(NOT CHROMIUM)
  message("chromium not found: the HTML viewer test is skipped (install Debian's chromium to run it)")
  return()
endif()

file(REMOVE_RECURSE "${OUT_DIR}")
file(MAKE_DIRECTORY "${OUT_DIR}")
set(page "${OUT_DIR}/viewer.html")
execute_process(
  COMMAND "${ORBITS}" --bodies 12 --attractors 2 --steps 1200 --seed 11 --html "${page}"
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE orbits_error TIMEOUT 120)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "orbits --html failed (${status}): ${orbits_error}")
endif()

if(XMLLINT)
  execute_process(COMMAND "${XMLLINT}" --html --noout "${page}"
    RESULT_VARIABLE status OUTPUT_VARIABLE lint_output ERROR_VARIABLE lint_output)
  if(NOT status EQUAL 0 OR NOT lint_output STREQUAL "")
    message(FATAL_ERROR "xmllint --html rejects the page (${status}):\n${lint_output}")
  endif()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/headless_chromium.cmake)
function(run_browser budget_ms fragment result_var)
  run_chromium("file://${page}${fragment}" ${budget_ms} 1100,860 output ${ARGN})
  set(${result_var} "${output}" PARENT_SCOPE)
endfunction()

# The page draws on the browser's display refreshes, and headless chromium hands out more or
# fewer of them as the machine is loaded (now and then none before its budget ends). So each
# look is repeated, at most `looks` times, until it shows what it waits for; a script error or
# a blank canvas fails at once, and a page that never plays fails after the last look.
set(looks 5)

# The page reports on itself in the attributes of its status line.
foreach(look RANGE 1 ${looks})
  run_browser(3000 "" dom --dump-dom)
  string(REGEX MATCH "<div id=\"status\"[^>]*>[^<]*" status_line "${dom}")
  if(status_line STREQUAL "")
    message(FATAL_ERROR "the page shows no status line; did the script run?\n${dom}")
  endif()
  string(REGEX MATCH "data-errors=\"([0-9]+)\"" _ "${status_line}")
  set(errors "${CMAKE_MATCH_1}")
  string(REGEX MATCH "data-drawn=\"([0-9]+)\"" _ "${status_line}")
  set(drawn "${CMAKE_MATCH_1}")
  string(REGEX MATCH "data-painted=\"([0-9]+)\"" _ "${status_line}")
  set(painted "${CMAKE_MATCH_1}")
  string(REGEX MATCH "data-frame=\"([0-9]+)\"" _ "${status_line}")
  set(frame "${CMAKE_MATCH_1}")
  if(NOT errors STREQUAL "" AND NOT errors STREQUAL "0")
    message(FATAL_ERROR "the page reports script errors: ${status_line}")
  endif()
  # Playing: drawn more than once and past the first frames (a page that does not play stays
  # at frame 0). How many refreshes a look gets depends on the machine's load, not the page.
  if(NOT drawn STREQUAL "" AND NOT drawn LESS 2 AND NOT frame STREQUAL "" AND NOT frame LESS 2)
    break()
  endif()
  if(look EQUAL looks)
    message(FATAL_ERROR "the page did not play in ${looks} looks: ${status_line}")
  endif()
endforeach()
if(painted STREQUAL "" OR painted LESS 5000)
  message(FATAL_ERROR "the canvas is (nearly) blank: ${status_line}")
endif()

# The first frame (the page opened paused) and the page after it played a while: both well
# filled, and different.
# A blank page of this size compresses to a few kilobytes.
set(filled_size 30000)
function(screenshot fragment shot)
  foreach(look RANGE 1 ${looks})
    run_browser(3000 "${fragment}" ignored --screenshot=${OUT_DIR}/${shot}.png)
    if(NOT EXISTS "${OUT_DIR}/${shot}.png")
      message(FATAL_ERROR "chromium wrote no ${shot} screenshot")
    endif()
    file(SIZE "${OUT_DIR}/${shot}.png" size)
    if(NOT size LESS filled_size AND NOT (shot STREQUAL "later" AND EXISTS "${OUT_DIR}/early.png"))
      return()
    endif()
    if(NOT size LESS filled_size)
      file(SHA256 "${OUT_DIR}/early.png" early_hash)
      file(SHA256 "${OUT_DIR}/later.png" later_hash)
      if(NOT early_hash STREQUAL later_hash)
        return()
      endif()
    endif()
  endforeach()
  if(size LESS filled_size)
    message(FATAL_ERROR "the ${shot} screenshot is nearly empty (${size} bytes) in ${looks} looks")
  endif()
  message(FATAL_ERROR "the picture does not move: both screenshots are the same in ${looks} looks")
endfunction()
file(REMOVE "${OUT_DIR}/early.png" "${OUT_DIR}/later.png")
screenshot("#paused" early)
screenshot("" later)
message("viewer ok: ${status_line}")
