// The registered tests of vorn_geodesic, in run order.
#pragma once

#include <array>

#include "vorn_testing.hpp"

namespace vorn_geodesic::registered {

inline constexpr std::array<vorn::testing::TestCase, 0> tests{};

}  // namespace vorn_geodesic::registered
