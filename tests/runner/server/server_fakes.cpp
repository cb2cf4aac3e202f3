#include "server_fakes.hpp"

#include <limits>

namespace vorn::server_test {
namespace {

using vorn::runner::detail::TestOutcome;
using vorn::runner::detail::TestStatus;

void passes() {}
void fails() { throw vorn::testing::TestError{"TestUnexpectedResult"}; }
void skips() { throw vorn::testing::TestSkipped{}; }
void leaks() { fakeRunner().leak = true; }
void logs() { fakeRunner().log_err_count = logging_test_count; }
void floods() { fakeRunner().log_err_count = std::numeric_limits<std::uint64_t>::max(); }

constexpr std::array<vorn::testing::TestCase, 6> table{{
    {"fake.test.passes", passes},
    {"fake.test.fails", fails},
    {"fake.test.skips", skips},
    {"fake.test.leaks", leaks},
    {"fake.test.logs errors", logs},
    {"fake.test.floods the log ✓", floods},
}};

void resetAllocator() {
    ++fakeRunner().allocator_resets;
    fakeRunner().leak = false;
    fakeRunner().events += 'A';
}
std::pmr::memory_resource& allocator() { return fakeRunner().resource; }
bool checkLeaks() {
    fakeRunner().events += 'L';
    return fakeRunner().leak || fakeRunner().always_leak;
}
TestOutcome callTest(const vorn::testing::TestCase& test) {
    fakeRunner().calls.emplace_back(test.name);
    fakeRunner().events += 'T';
    try {
        test.run();
        return {TestStatus::passed, {}};
    } catch (const vorn::testing::TestSkipped&) {
        return {TestStatus::skipped, {}};
    } catch (const vorn::testing::TestError& e) {
        return {TestStatus::failed, e.name};
    }
}
void printErrorTrace() {
    ++fakeRunner().traces_printed;
    fakeRunner().events += 'P';
}
std::uint64_t logErrCount() { return fakeRunner().log_err_count; }
void resetLogErrCount() {
    ++fakeRunner().log_resets;
    fakeRunner().log_err_count = 0;
    fakeRunner().events += 'R';
}

constexpr vorn::runner::server::TestHooks hooks{
    .reset_allocator = resetAllocator,
    .allocator = allocator,
    .check_leaks = checkLeaks,
    .call_test = callTest,
    .print_error_trace = printErrorTrace,
    .log_err_count = logErrCount,
    .reset_log_err_count = resetLogErrCount,
};

}  // namespace

FakeRunner& fakeRunner() {
    static FakeRunner runner;
    return runner;
}

const vorn::runner::server::TestHooks& fakeHooks() { return hooks; }

std::span<const vorn::testing::TestCase> syntheticTable() { return table; }

}  // namespace vorn::server_test
