// Joins the modules' constexpr test lists into one table at build time.
#pragma once

#include <array>
#include <cstddef>

#include "vorn_testing.hpp"

namespace vorn::runner {

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

}  // namespace vorn::runner
