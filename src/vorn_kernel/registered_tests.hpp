// The registered tests of vorn_kernel, in run order.
#pragma once

#include <array>

#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

inline constexpr std::array<vorn::testing::TestCase, 0> tests{};

}  // namespace vorn_kernel::registered
