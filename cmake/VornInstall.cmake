# Installing the kernel: headers under include/vorn/, the static library, a CMake package
# (find_package(vorn CONFIG) -> vorn::kernel) and a pkg-config file.
# Included from src/CMakeLists.txt once the vorn_kernel target exists.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VORN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/vorn)

set_target_properties(vorn_kernel PROPERTIES
  OUTPUT_NAME vorn
  EXPORT_NAME kernel)

# The same two spellings as in the build tree: <vorn/vorn_kernel.hpp> with include/ on the
# path, "vorn_kernel.hpp" with include/vorn. Every public header is in include/vorn/.
target_include_directories(vorn_kernel PUBLIC
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vorn>)
# The distributed World's header needs MPI and its library is used from the build tree only
# (docs/world.md): it is not installed.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vorn
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.hpp" PATTERN "vorn_world_mpi.hpp" EXCLUDE)

set_target_properties(vorn_world PROPERTIES
  OUTPUT_NAME vorn_world
  EXPORT_NAME world)
# The correctly rounded functions are private, but a static library's users link them too.
set_target_properties(vorn_math PROPERTIES EXPORT_NAME math)
install(TARGETS vorn_kernel vorn_world vorn_math
  EXPORT vornTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT vornTargets
  NAMESPACE vorn::
  FILE vornTargets.cmake
  DESTINATION ${VORN_INSTALL_CMAKEDIR})

configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/vornConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vornConfig.cmake
  INSTALL_DESTINATION ${VORN_INSTALL_CMAKEDIR})
# Before 1.0 a new minor version may change the interface: only the same minor matches.
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/vornConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/vornConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/vornConfigVersion.cmake
  DESTINATION ${VORN_INSTALL_CMAKEDIR})

# pkg-config: paths relative to the .pc file, so the installed tree can be moved.
file(RELATIVE_PATH VORN_PC_PREFIX_FROM_PCDIR
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
set(VORN_PC_PREFIX "\${pcfiledir}/${VORN_PC_PREFIX_FROM_PCDIR}")
string(REGEX REPLACE "/$" "" VORN_PC_PREFIX "${VORN_PC_PREFIX}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VORN_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(VORN_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VORN_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(VORN_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/vorn.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vorn.pc @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vorn-world.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vorn-world.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vorn.pc ${CMAKE_CURRENT_BINARY_DIR}/vorn-world.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
