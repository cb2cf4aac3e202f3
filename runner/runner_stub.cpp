// Placeholder runner: runs the table in order and reports; replaced by the full runner.
#include <cmath>
#include <cstdio>
#include <new>

#include <cstdlib>
#include <cstring>

#include "runner_internal.hpp"
#include "vorn_runner.hpp"

namespace vorn::testing {

void expectApproxEqAbs(double expected, double actual, double tolerance, std::source_location where) {
    if (expected == actual) return;
    if (!std::isnan(expected) && !std::isnan(actual) && std::fabs(expected - actual) <= tolerance) return;
    std::fprintf(stderr, "actual %.17g, not within absolute tolerance %.17g of expected %.17g\n", actual,
                 tolerance, expected);
    fail("TestExpectedApproxEqAbs", where);
}

void expectApproxEqAbs(float expected, float actual, float tolerance, std::source_location where) {
    if (expected == actual) return;
    if (!std::isnan(expected) && !std::isnan(actual) && std::fabs(expected - actual) <= tolerance) return;
    std::fprintf(stderr, "actual %.9g, not within absolute tolerance %.9g of expected %.9g\n",
                 static_cast<double>(actual), static_cast<double>(tolerance), static_cast<double>(expected));
    fail("TestExpectedApproxEqAbs", where);
}

void expectTrue(bool condition, std::source_location where) {
    if (!condition) fail("TestUnexpectedResult", where);
}

void fail(std::string_view error_name, std::source_location where) {
    std::fprintf(stderr, "%s:%u\n", where.file_name(), static_cast<unsigned>(where.line()));
    throw TestError{error_name};
}

void skip(std::source_location) { throw TestSkipped{}; }

std::pmr::memory_resource& allocator() { return *std::pmr::new_delete_resource(); }

}  // namespace vorn::testing

namespace vorn::runner::detail {

std::span<std::byte, 4096> fixedBuffer() {
    static std::byte buffer[4096];
    return buffer;
}
void resetTestAllocator() {}
bool checkTestAllocatorForLeaks() { return false; }
void printErrorTrace() {}
std::uint64_t logErrCount() { return 0; }
void resetLogErrCount() {}

TestOutcome callTest(const vorn::testing::TestCase& test) {
    try {
        test.run();
        return {TestStatus::passed, {}};
    } catch (const vorn::testing::TestSkipped&) {
        return {TestStatus::skipped, {}};
    } catch (const vorn::testing::TestError& e) {
        return {TestStatus::failed, e.name};
    } catch (const std::bad_alloc&) {
        return {TestStatus::failed, "OutOfMemory"};
    }
}

void fatal(std::string_view message) {
    std::fprintf(stderr, "thread 0 panic: %.*s\n", static_cast<int>(message.size()), message.data());
    std::abort();
}

int runTerminalMode(std::span<const vorn::testing::TestCase> tests) {
    std::size_t ok = 0, skipped = 0, failed = 0;
    for (std::size_t i = 0; i < tests.size(); ++i) {
        std::fprintf(stderr, "%zu/%zu %.*s...", i + 1, tests.size(), static_cast<int>(tests[i].name.size()),
                     tests[i].name.data());
        const TestOutcome outcome = callTest(tests[i]);
        switch (outcome.status) {
            case TestStatus::passed:
                ++ok;
                std::fprintf(stderr, "OK\n");
                break;
            case TestStatus::skipped:
                ++skipped;
                std::fprintf(stderr, "SKIP\n");
                break;
            case TestStatus::failed:
                ++failed;
                std::fprintf(stderr, "FAIL (%.*s)\n", static_cast<int>(outcome.error_name.size()),
                             outcome.error_name.data());
                break;
        }
    }
    if (ok == tests.size()) {
        std::fprintf(stderr, "All %zu tests passed.\n", ok);
    } else {
        std::fprintf(stderr, "%zu passed; %zu skipped; %zu failed.\n", ok, skipped, failed);
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace vorn::runner::detail

namespace vorn::runner {

int run(int argc, char** argv, std::span<const vorn::testing::TestCase> tests) {
    bool listen = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--listen=-") != 0) detail::fatal("unrecognized command line argument");
        listen = true;
    }
    return listen ? detail::runServerMode(tests) : detail::runTerminalMode(tests);
}

}  // namespace vorn::runner
