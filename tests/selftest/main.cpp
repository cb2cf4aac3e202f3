// The self-checking executable: the runner over the table of registered tests.
#include "registered_test_table.hpp"
#include "vorn_runner.hpp"

int main(int argc, char** argv) { return vorn::runner::run(argc, argv, vorn::selftest::registered_tests); }
