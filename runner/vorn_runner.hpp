// The test runner's entry: terminal mode with no arguments, server mode with --listen=-.
#pragma once

#include <span>

#include "vorn_testing.hpp"

namespace vorn::runner {

// Runs `tests` as the command line asks and returns the process exit status.
int run(int argc, char** argv, std::span<const vorn::testing::TestCase> tests);

}  // namespace vorn::runner
