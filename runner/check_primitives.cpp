// The checks registered tests state their expectations with, and the ways a test ends early.
#include <string>

#include "approx_abs.hpp"
#include "number_format.hpp"
#include "process_state.hpp"
#include "runner_internal.hpp"

namespace vorn::testing {
namespace {

template <typename Float>
void reportApproxFailure(Float expected, Float actual, Float tolerance) {
    using vorn::runner::detail::formatShortest;
    std::string message = "actual ";
    message += formatShortest(actual).view();
    message += ", not within absolute tolerance ";
    message += formatShortest(tolerance).view();
    message += " of expected ";
    message += formatShortest(expected).view();
    message += '\n';
    vorn::runner::detail::StderrLock lock;
    vorn::runner::detail::writeStderr(message);
}

}  // namespace

void expectApproxEqAbs(double expected, double actual, double tolerance, SourceLocation where) {
    if (vorn::runner::detail::withinAbsoluteTolerance(expected, actual, tolerance)) return;
    reportApproxFailure(expected, actual, tolerance);
    fail("TestExpectedApproxEqAbs", where);
}

void expectApproxEqAbs(float expected, float actual, float tolerance, SourceLocation where) {
    if (vorn::runner::detail::withinAbsoluteTolerance(expected, actual, tolerance)) return;
    reportApproxFailure(expected, actual, tolerance);
    fail("TestExpectedApproxEqAbs", where);
}

void expectTrue(bool condition, SourceLocation where) {
    if (!condition) fail("TestUnexpectedResult", where);
}

[[gnu::noinline]] void fail(std::string_view error_name, SourceLocation where) {
    vorn::runner::detail::ProcessState& state = vorn::runner::detail::processState();
    state.error_trace.recordCheck(where, state.test_return_address);
    throw TestError{error_name};
}

void skip(SourceLocation) { throw TestSkipped{}; }

std::pmr::memory_resource& allocator() { return vorn::runner::detail::processState().test_allocator; }

}  // namespace vorn::testing
