# Flags for the project's own targets. Floating-point contraction stays off everywhere:
# results are defined by the order of operations, and an FMA changes the rounding.
add_library(vorn_flags INTERFACE)
target_compile_features(vorn_flags INTERFACE cxx_std_20)
target_compile_options(vorn_flags INTERFACE -ffp-contract=off)
# g++ 12.2 with AVX-512 builds SLP-vectorised constant vectors such as HomVec4{1, 1, 0, 0}
# as a broadcast of the first value; keep that pass off in all of the project's code.
target_compile_options(vorn_flags INTERFACE $<$<CXX_COMPILER_ID:GNU>:-fno-tree-slp-vectorize>)

add_library(vorn_warnings INTERFACE)
target_compile_options(vorn_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
