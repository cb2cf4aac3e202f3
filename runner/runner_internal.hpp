// The runner's own building blocks, shared by terminal mode and server mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <span>
#include <string_view>

#include "vorn_testing.hpp"

namespace vorn::runner::detail {

enum class TestStatus : std::uint8_t { passed, skipped, failed };

struct TestOutcome {
    TestStatus status;
    std::string_view error_name;  // set when failed; static storage
};

// The fixed 4096-byte buffer that holds the command-line arguments and, in server mode,
// the receive buffer.
std::span<std::byte, 4096> fixedBuffer();

// Recreates the per-test allocator empty (the one vorn::testing::allocator() returns).
void resetTestAllocator();

// Logs every block still allocated from the per-test allocator at error level (scope gpa);
// returns whether anything leaked.
bool checkTestAllocatorForLeaks();

// Empties the error trace, calls the test and maps how it ended to an outcome: a check's
// TestError keeps its name, std::bad_alloc becomes "OutOfMemory", other exceptions get a
// name of their own. Never lets an exception escape.
TestOutcome callTest(const vorn::testing::TestCase& test);

// Writes the error trace of the last failed test to standard error as a stack trace.
void printErrorTrace();

std::uint64_t logErrCount();
void resetLogErrCount();

// Terminal mode and server mode; each returns the process exit status.
int runTerminalMode(std::span<const vorn::testing::TestCase> tests);
int runServerMode(std::span<const vorn::testing::TestCase> tests);

// "thread {id} panic: {message}", a stack trace, then abort.
[[noreturn]] void fatal(std::string_view message);

}  // namespace vorn::runner::detail
