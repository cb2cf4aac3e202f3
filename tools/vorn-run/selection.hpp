// Which tests of the table a run covers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "options.hpp"

namespace vorn::run {

// Table positions in table order. With no --filter, --exact or --index every test is chosen;
// otherwise a test is chosen when any of them matches it. An --exact name or an --index that
// matches no test is a UsageError: a stale test command must not pass by running nothing.
std::vector<std::size_t> selectTests(const std::vector<std::string>& names, const Options& options);

}  // namespace vorn::run
