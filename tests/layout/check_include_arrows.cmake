# Fails when a part of the tree reaches into a part it must not see:
#   - runner/ and tools/ reach nothing of src/, the library's private tree, nor of tests/ (the
#     registered tests' table included);
#   - tests/selftest/, the registered tests, reaches nothing of src/;
#   - src/ and include/ reach nothing of runner/, tools/, tests/, bench/ or examples/, and no
#     file under them is named as a test.
# An #include reaches a tree when the file it names, looked up beside the including file and
# then in the part's own include roots, lies in that tree, or when it is found nowhere there
# but names a file of that tree (it would need the tree on the include path). The include
# directories of every target of a part (INCLUDE_DIRECTORIES_FILE, written by CMakeLists.txt
# beside this script; optional) must not lie in a tree the part must not see either.
#
#   cmake -DSOURCE_DIR=... [-DINCLUDE_DIRECTORIES_FILE=...] -P check_include_arrows.cmake
if(NOT DEFINED SOURCE_DIR)
  message(FATAL_ERROR "check_include_arrows.cmake needs -DSOURCE_DIR=...")
endif()

set(violations "")

# TRUE in OUT when PATH lies in one of the directories TREES.
function(lies_in path trees out)
  foreach(tree IN LISTS trees)
    cmake_path(IS_PREFIX tree "${path}" NORMALIZE inside)
    if(inside)
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} FALSE PARENT_SCOPE)
endfunction()

# Checks the #include lines of every C++ file of the directories PARTS: what they name must not
# lie in FORBIDDEN, looked up beside the file and then in ROOTS.
function(check_includes)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "PARTS;ROOTS;FORBIDDEN")
  set(forbidden_files "")
  foreach(tree IN LISTS arg_FORBIDDEN)
    file(GLOB_RECURSE files LIST_DIRECTORIES false "${tree}/*")
    list(APPEND forbidden_files ${files})
  endforeach()
  set(found "")
  foreach(part IN LISTS arg_PARTS)
    file(GLOB_RECURSE sources "${part}/*.cpp" "${part}/*.hpp" "${part}/*.h" "${part}/*.inc")
    foreach(source IN LISTS sources)
      file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]+[>\"]")
      cmake_path(GET source PARENT_PATH beside)
      foreach(line IN LISTS lines)
        string(REGEX MATCH "[<\"]([^>\"]+)[>\"]" unused "${line}")
        set(named "${CMAKE_MATCH_1}")
        set(resolved "")
        foreach(root IN ITEMS "${beside}" ${arg_ROOTS})
          cmake_path(ABSOLUTE_PATH named BASE_DIRECTORY "${root}" NORMALIZE OUTPUT_VARIABLE candidate)
          if(EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
            set(resolved "${candidate}")
            break()
          endif()
        endforeach()
        if(resolved)
          lies_in("${resolved}" "${arg_FORBIDDEN}" bad)
        else()
          string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" pattern "${named}")
          set(matches ${forbidden_files})
          list(FILTER matches INCLUDE REGEX "/${pattern}$")
          set(resolved "${matches}")
          set(bad FALSE)
          if(matches)
            set(bad TRUE)
          endif()
        endif()
        if(bad)
          file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
          list(APPEND found "${shown} includes \"${named}\" (${resolved})")
        endif()
      endforeach()
    endforeach()
  endforeach()
  set(violations ${violations} ${found} PARENT_SCOPE)
endfunction()

set(public_roots "${SOURCE_DIR}/include" "${SOURCE_DIR}/include/vorn")

check_includes(
  PARTS "${SOURCE_DIR}/runner" "${SOURCE_DIR}/tools"
  ROOTS "${SOURCE_DIR}/runner" "${SOURCE_DIR}/tools" ${public_roots}
  FORBIDDEN "${SOURCE_DIR}/src" "${SOURCE_DIR}/tests")
check_includes(
  PARTS "${SOURCE_DIR}/tests/selftest"
  ROOTS "${SOURCE_DIR}/tests/selftest" "${SOURCE_DIR}/runner" ${public_roots}
  FORBIDDEN "${SOURCE_DIR}/src")

set(outside_library "${SOURCE_DIR}/runner" "${SOURCE_DIR}/tools" "${SOURCE_DIR}/tests"
  "${SOURCE_DIR}/bench" "${SOURCE_DIR}/examples")
check_includes(
  PARTS "${SOURCE_DIR}/src" "${SOURCE_DIR}/include"
  ROOTS "${SOURCE_DIR}/src" ${public_roots}
  FORBIDDEN ${outside_library})

file(GLOB_RECURSE library_files LIST_DIRECTORIES false RELATIVE "${SOURCE_DIR}"
  "${SOURCE_DIR}/src/*" "${SOURCE_DIR}/include/*")
list(FILTER library_files INCLUDE REGEX "(^|[/_])[Tt]ests?([._/]|$)")
foreach(file IN LISTS library_files)
  list(APPEND violations "${file} is named as a test, in the library's tree")
endforeach()

# The include directories of the targets of each part.
if(DEFINED INCLUDE_DIRECTORIES_FILE)
  include("${INCLUDE_DIRECTORIES_FILE}")
  foreach(part IN ITEMS runner tools tests/selftest src)
    if(part STREQUAL "src")
      set(forbidden ${outside_library})
    elseif(part STREQUAL "tests/selftest")
      set(forbidden "${SOURCE_DIR}/src")
    else()
      set(forbidden "${SOURCE_DIR}/src" "${SOURCE_DIR}/tests")
    endif()
    foreach(target IN LISTS targets_of_${part})
      foreach(directory IN LISTS include_directories_of_${target})
        lies_in("${directory}" "${forbidden}" bad)
        if(bad)
          list(APPEND violations "target ${target} (${part}/) compiles with ${directory} on its include path")
        endif()
      endforeach()
    endforeach()
  endforeach()
endif()

if(violations)
  list(JOIN violations "\n  " shown)
  message(FATAL_ERROR "parts of the tree reach where they must not:\n  ${shown}")
endif()
message(STATUS "include arrows: runner/, tools/ and tests/selftest/ reach nothing of src/, runner/ and tools/ nothing of tests/; src/ holds no test code")
