// What became of one test.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vorn::run {

enum class Outcome : std::uint8_t { passed, failed, skipped, timed_out, crashed };

struct TestRun {
    std::size_t index = 0;  // table position
    Outcome outcome = Outcome::passed;
    bool leaked = false;
    std::uint32_t log_err_count = 0;
    std::string crash_reason;  // how the server ended: "SIGSEGV", "exit status 1"
    std::string output;        // the server's standard error while the test ran
    std::chrono::nanoseconds duration{};
};

// Whether the test counts against the run's exit status.
inline bool isProblem(const TestRun& run) {
    return run.outcome == Outcome::failed || run.outcome == Outcome::timed_out ||
           run.outcome == Outcome::crashed || run.leaked || run.log_err_count != 0;
}

}  // namespace vorn::run
