# Flags for the project's own targets. Floating-point contraction stays off everywhere:
# results are defined by the order of operations, and an FMA changes the rounding.
add_library(vorn_flags INTERFACE)
target_compile_features(vorn_flags INTERFACE cxx_std_20)
target_compile_options(vorn_flags INTERFACE -ffp-contract=off)
# g++ 12.2 with AVX-512 builds SLP-vectorised constant vectors such as HomVec4{1, 1, 0, 0}
# as a broadcast of the first value; keep that pass off in all of the project's code.
target_compile_options(vorn_flags INTERFACE $<$<CXX_COMPILER_ID:GNU>:-fno-tree-slp-vectorize>)

# The project's warnings. They are errors only where asked for: the presets and gates set
# CMAKE_COMPILE_WARNING_AS_ERROR; a plain build (a packager's, a user's) only reports them,
# since a newer compiler may warn about what this one accepts.
set(VORN_WARNING_OPTIONS -Wall -Wextra -Wpedantic)
add_library(vorn_warnings INTERFACE)
target_compile_options(vorn_warnings INTERFACE ${VORN_WARNING_OPTIONS})
