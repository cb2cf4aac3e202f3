// The table of registered tests that the self-checking executable runs, built here and nowhere
// else: the modules' lists joined at build time in run order (physics, then the projective
// kernel, then geodesics). Whatever needs the number of registered tests takes its size.
// run_order_check.cpp holds it to run_order.txt while the build runs.
#pragma once

#include <array>
#include <cstddef>

#include "geodesic/registered_tests.hpp"
#include "kernel/registered_tests.hpp"
#include "physics/registered_tests.hpp"
#include "vorn_testing.hpp"

namespace vorn::selftest {

template <std::size_t... N>
constexpr auto joinTestLists(const std::array<vorn::testing::TestCase, N>&... lists) {
    std::array<vorn::testing::TestCase, (N + ... + 0)> table{};
    std::size_t next = 0;
    (([&] {
         for (const auto& test : lists) table[next++] = test;
     }()),
     ...);
    return table;
}

inline constexpr auto registered_tests = joinTestLists(
    vorn_physics::registered::tests, vorn_kernel::registered::tests, vorn_geodesic::registered::tests);

}  // namespace vorn::selftest
