// Server mode: framed messages with a parent process on standard input and output.
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "runner_internal.hpp"
#include "server_fd.hpp"
#include "server_loop.hpp"

#ifndef VORN_VERSION
#error "VORN_VERSION must name the project version"
#endif

namespace vorn::runner::detail {
namespace {

std::pmr::memory_resource& testAllocator() { return vorn::testing::allocator(); }

constexpr server::TestHooks runner_hooks{
    .reset_allocator = resetTestAllocator,
    .allocator = testAllocator,
    .check_leaks = checkTestAllocatorForLeaks,
    .call_test = callTest,
    .print_error_trace = printErrorTrace,
    .log_err_count = logErrCount,
    .reset_log_err_count = resetLogErrCount,
};

}  // namespace

int runServerMode(std::span<const vorn::testing::TestCase> tests) {
    // A parent that goes away must surface as a failed write, not as a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    const std::optional<server::ServerDescriptors> fds = server::isolateMessageStreams();
    if (!fds) throw ServerError{errno};
    server::FdSource input(fds->input);
    server::FdSink frames(fds->frames);
    // Server mode is single-threaded (no progress display), so its one-line reports can go
    // straight to the descriptor.
    server::FdSink diagnostics(STDERR_FILENO);

    const server::StopReason reason =
        server::serve(tests, {input, frames, diagnostics}, fixedBuffer(), runner_hooks, "vorn " VORN_VERSION);
    switch (reason) {
        case server::StopReason::runner_failure:
            throw ServerError{input.lastError() != 0 ? input.lastError() : frames.lastError()};
        case server::StopReason::metadata_leak:
            fatal("internal test runner memory leak");
        default:
            return server::exitStatus(reason);
    }
}

}  // namespace vorn::runner::detail
