# Server mode: the message loop as its own library (driven in-process by the tests and the
# fuzzer), and its binding to the process's descriptors inside the runner.
add_library(vorn_server_loop STATIC
  ${CMAKE_CURRENT_LIST_DIR}/server_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_loop.cpp)
target_include_directories(vorn_server_loop PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vorn_server_loop PUBLIC vorn_flags PRIVATE vorn_warnings)

target_sources(vorn_runner PRIVATE ${CMAKE_CURRENT_LIST_DIR}/server_fd.cpp)
target_link_libraries(vorn_runner PUBLIC vorn_server_loop)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/server_mode.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS VORN_VERSION="${PROJECT_VERSION}")
