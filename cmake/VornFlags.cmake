# Flags for the project's own targets. Floating-point contraction stays off everywhere:
# results are defined by the order of operations, and an FMA changes the rounding.
add_library(vorn_flags INTERFACE)
target_compile_features(vorn_flags INTERFACE cxx_std_20)
target_compile_options(vorn_flags INTERFACE -ffp-contract=off)

add_library(vorn_warnings INTERFACE)
target_compile_options(vorn_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
