// Internals of logging shared with the tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "vorn_log.hpp"

namespace vorn::runner::detail {

// Adds one unless the counter already holds its largest value.
inline void saturatingIncrement(std::atomic<std::uint64_t>& counter) {
    std::uint64_t current = counter.load(std::memory_order_relaxed);
    while (current != std::numeric_limits<std::uint64_t>::max() &&
           !counter.compare_exchange_weak(current, current + 1, std::memory_order_relaxed)) {}
}

// "[scope] (level): message\n"
std::string formatLogLine(vorn::testing::LogLevel level, std::string_view scope, std::string_view message);

}  // namespace vorn::runner::detail
