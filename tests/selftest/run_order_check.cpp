// Holds the table of registered tests to run_order.txt while it is compiled: the same names in
// the same order, no more and no fewer. When a name differs, the compiler's note on the failed
// assertion shows its position (from 0) beside the length of the list. Defines nothing.
#include <array>
#include <cstddef>
#include <string_view>

#include "registered_test_table.hpp"

namespace vorn::selftest {
namespace {

constexpr std::array run_order = std::to_array<std::string_view>({
#include "run_order.inc"
});

static_assert(registered_tests.size() == run_order.size(),
              "the table of registered tests and tests/selftest/run_order.txt differ in length");

// The first position where the table and run_order.txt name different tests, or the length of
// the list where they agree throughout.
constexpr std::size_t firstDifference() {
    for (std::size_t i = 0; i < run_order.size() && i < registered_tests.size(); ++i) {
        if (registered_tests[i].name != run_order[i]) return i;
    }
    return run_order.size();
}

constexpr std::size_t first_difference = firstDifference();
static_assert(first_difference == run_order.size(),
              "the table of registered tests differs from tests/selftest/run_order.txt");

}  // namespace
}  // namespace vorn::selftest
