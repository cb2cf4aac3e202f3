// The registered tests of vorn_physics, in run order.
#pragma once

#include <array>

#include "vorn_testing.hpp"

namespace vorn_physics::registered {

inline constexpr std::array<vorn::testing::TestCase, 0> tests{};

}  // namespace vorn_physics::registered
