// All of the runner's process-wide state, in one place.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "error_trace.hpp"
#include "leak_checking_resource.hpp"
#include "progress_display.hpp"
#include "vorn_log.hpp"

namespace vorn::runner::detail {

struct ProcessState {
    // Command-line arguments, then the server-mode receive buffer.
    std::array<std::byte, 4096> fixed_buffer{};

    // The standard-error lock: report lines, check messages, log lines and the progress
    // display's redraws are each written while holding it.
    std::recursive_mutex stderr_mutex;
    ProgressDisplay progress{stderr_mutex};

    std::atomic<vorn::testing::LogLevel> log_level{vorn::testing::LogLevel::warn};
    // Error-level log messages so far; saturates instead of wrapping.
    std::atomic<std::uint64_t> log_err_count{0};

    LeakCheckingResource test_allocator;

    // Filled by a failing check of the running test.
    ErrorTrace error_trace;
    // Where the running test returns to in callTest; a failing check's trace ends there.
    const void* test_return_address = nullptr;
};

// Built on first use and never destroyed, so a signal handler or the progress thread never
// meets it half torn down at exit.
ProcessState& processState();

}  // namespace vorn::runner::detail
