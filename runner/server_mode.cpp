// Server mode: framed messages with a parent process on standard input and output.
#include <cerrno>

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

// One-line reports of refused input share standard error with log lines and traces.
class StderrSink final : public server::ByteSink {
public:
    bool write(std::span<const std::byte> bytes) override {
        const StderrLock lock;
        writeStderr(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        return true;
    }
};

}  // namespace

int runServerMode(std::span<const vorn::testing::TestCase> tests) {
    // The entry has already made a closed pipe a failed write (SIGPIPE handler), so a parent
    // that goes away ends here as a runner failure rather than as a silent death.
    const std::optional<server::ServerDescriptors> fds = server::isolateMessageStreams();
    if (!fds) throw ServerError{errno};
    server::FdSource input(fds->input);
    server::FdSink frames(fds->frames);
    StderrSink diagnostics;

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
