# Installs the build tree into a staging prefix, moves it to PREFIX (so the consumers use
# a tree that was relocated after installation) and checks that nothing installed refers
# back to the source or build tree.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DPREFIX=... -P install_fresh.cmake
foreach(var BUILD_DIR SOURCE_DIR PREFIX)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "install_fresh.cmake needs -D${var}=...")
  endif()
endforeach()

set(stage "${PREFIX}-stage")
file(REMOVE_RECURSE "${stage}" "${PREFIX}")
execute_process(
  COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${stage}"
  RESULT_VARIABLE install_result)
if(NOT install_result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${install_result})")
endif()
file(RENAME "${stage}" "${PREFIX}")

set(expected
  include/vorn/vorn_kernel.hpp
  include/vorn/vorn_geodesic.hpp
  include/vorn/vorn_physics.hpp
  include/vorn/vorn_motion.hpp
  lib/cmake/vorn/vornConfig.cmake
  lib/cmake/vorn/vornConfigVersion.cmake
  lib/cmake/vorn/vornTargets.cmake
  lib/pkgconfig/vorn.pc
  lib/libvorn.a)
foreach(path IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "the install tree lacks ${path}")
  endif()
endforeach()

# The self-checking executable, the runner, vorn-run and the tests stay in the build tree.
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(FILTER installed INCLUDE REGEX "[Tt]est|runner|vorn-run|registered")
if(installed)
  string(REPLACE ";" ", " installed "${installed}")
  message(FATAL_ERROR "the install tree holds what belongs to the tests: ${installed}")
endif()

file(GLOB_RECURSE text_files "${PREFIX}/*.cmake" "${PREFIX}/*.pc" "${PREFIX}/*.hpp")
foreach(file IN LISTS text_files)
  file(READ "${file}" content)
  foreach(tree "${SOURCE_DIR}" "${BUILD_DIR}")
    string(FIND "${content}" "${tree}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${file} refers to ${tree}: the install tree is not self-contained")
    endif()
  endforeach()
endforeach()
message(STATUS "installed into ${PREFIX}")
