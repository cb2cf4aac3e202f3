# vorn_add_doc_snippets(<markdown file> [<library>...])
#
# Every ```cpp block of the file becomes a source file of its own, compiled against the
# libraries given (vorn::kernel when none are) with the project's warnings. A block that defines main() is also linked and
# run as a test; the others only have to compile. Editing the file re-runs the configuration.
# Code blocks may not contain backticks.
function(vorn_add_doc_snippets markdown)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${markdown})
  file(READ ${markdown} text)
  get_filename_component(doc_name ${markdown} NAME_WE)
  set(libraries ${ARGN})
  if(NOT libraries)
    set(libraries vorn::kernel)
  endif()

  # Lists split on ';' and treat brackets specially: hide both while cutting out the blocks.
  string(REPLACE ";" "@VORN_SEMICOLON@" text "${text}")
  string(REPLACE "[" "@VORN_LBRACKET@" text "${text}")
  string(REPLACE "]" "@VORN_RBRACKET@" text "${text}")
  string(REGEX MATCHALL "\n```cpp\n[^`]*\n```" blocks "${text}")
  string(REGEX MATCHALL "\n```cpp\n" openings "${text}")
  list(LENGTH blocks block_count)
  list(LENGTH openings opening_count)
  if(NOT block_count EQUAL opening_count)
    message(FATAL_ERROR "${markdown}: a ```cpp block holds a backtick or is not closed; "
                        "${block_count} of ${opening_count} blocks could be cut out")
  endif()

  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/doc_snippets/${doc_name})
  file(REMOVE_RECURSE ${out_dir})
  set(index 0)
  foreach(block IN LISTS blocks)
    math(EXPR index "${index} + 1")
    string(REGEX REPLACE "^\n```cpp\n" "" code "${block}")
    string(REGEX REPLACE "```$" "" code "${code}")
    string(REPLACE "@VORN_SEMICOLON@" ";" code "${code}")
    string(REPLACE "@VORN_LBRACKET@" "[" code "${code}")
    string(REPLACE "@VORN_RBRACKET@" "]" code "${code}")

    set(source ${out_dir}/snippet_${index}.cpp)
    file(WRITE ${source} "${code}")
    set(target vorn_doc_${doc_name}_snippet_${index})
    if(code MATCHES "int main\\(")
      add_executable(${target} ${source})
      add_test(NAME ${target} COMMAND ${target})
      set_tests_properties(${target} PROPERTIES LABELS doc)
    else()
      add_library(${target} OBJECT ${source})
    endif()
    target_link_libraries(${target} PRIVATE ${libraries} vorn_warnings)
  endforeach()

  if(index EQUAL 0)
    message(FATAL_ERROR "${markdown} has no ```cpp blocks to build")
  endif()
  message(STATUS "${doc_name}: ${index} code snippets")
endfunction()
