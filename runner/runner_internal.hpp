// The runner's own building blocks, shared by terminal mode and server mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <span>
#include <string_view>

#include "vorn_log.hpp"
#include "vorn_testing.hpp"

namespace vorn::runner::detail {

enum class TestStatus : std::uint8_t { passed, skipped, failed };

struct TestOutcome {
    TestStatus status;
    std::string_view error_name;  // set when failed; static storage
};

// The fixed 4096-byte buffer that holds the command-line arguments and, in server mode,
// the receive buffer. Once the entry has chosen the mode it never reads the argument copy
// again, so server mode may use the whole buffer.
std::span<std::byte, 4096> fixedBuffer();

// Server mode throws this when reading standard input or writing standard output fails
// (`error_number` is the errno value, 0 for an early end of input); the entry then stops
// with the fatal message "internal test runner failure".
struct ServerError {
    int error_number;
};

// The one process-wide standard-error lock. Taking it erases the progress display first, so
// text written while it is held never mixes with the display. Re-entrant on one thread.
class StderrLock {
public:
    StderrLock();
    ~StderrLock();
    StderrLock(const StderrLock&) = delete;
    StderrLock& operator=(const StderrLock&) = delete;
};

// Writes all of `text` to standard error; call it while holding a StderrLock. A non-blocking
// standard error is waited on; write errors (a closed pipe included) are ignored.
void writeStderr(std::string_view text);

// Recreates the per-test allocator empty (the one vorn::testing::allocator() returns).
void resetTestAllocator();

// Logs every block still allocated from the per-test allocator at error level (scope gpa);
// returns whether anything leaked.
bool checkTestAllocatorForLeaks();

// Empties the error trace, calls the test and maps how it ended to an outcome: a check's
// TestError keeps its name, std::bad_alloc becomes "OutOfMemory", other exceptions get a
// name of their own ("UnexpectedException"); an entry without a function fails with
// "MissingTestFunction". Never lets an exception escape.
TestOutcome callTest(const vorn::testing::TestCase& test);

// Writes the error trace of the last failed test to standard error as a stack trace.
void printErrorTrace();

std::uint64_t logErrCount();
void resetLogErrCount();

// Log level: messages less severe than the level are dropped. Warning at start.
using LogLevel = vorn::testing::LogLevel;
void setLogLevel(LogLevel level);

// Terminal mode and server mode; each returns the process exit status.
int runTerminalMode(std::span<const vorn::testing::TestCase> tests);
int runServerMode(std::span<const vorn::testing::TestCase> tests);

// "thread {id} panic: {message}", a stack trace, then abort.
[[noreturn]] void fatal(std::string_view message);

}  // namespace vorn::runner::detail
