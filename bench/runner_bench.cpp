// The runner: one whole terminal-mode run of the registered tests in this process, and one
// run_test round trip of server mode over a pipe, beside a bare pipe echo of the same bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "child_process.hpp"
#include "protocol.hpp"
#include "registered_test_table.hpp"
#include "vorn_runner.hpp"

namespace vorn::bench {
namespace {

using vorn::selftest::registered_tests;

// Points standard error at /dev/null while it lives, so the runner's report costs its writes
// but does not flood the benchmark's output.
class SilencedStderr {
public:
    SilencedStderr() {
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null_fd >= 0) {
            ::dup2(null_fd, 2);
            ::close(null_fd);
        }
    }
    SilencedStderr(const SilencedStderr&) = delete;
    SilencedStderr& operator=(const SilencedStderr&) = delete;
    ~SilencedStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, 2);
            ::close(saved_);
        }
    }

private:
    int saved_ = -1;
};

void BM_terminal_run_registered_tests_in_process(benchmark::State& state) {
    std::array<char, 16> program{"vorn_selftest"};
    std::array<char*, 2> argv{program.data(), nullptr};
    int status = 0;
    {
        const SilencedStderr silenced;
        for (auto _ : state) {
            status |= vorn::runner::run(1, argv.data(), registered_tests);
        }
    }
    if (status != 0) state.SkipWithError("a registered test failed");
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(registered_tests.size()));
}
BENCHMARK(BM_terminal_run_registered_tests_in_process);

std::uint32_t indexOf(std::string_view name) {
    for (std::uint32_t i = 0; i < registered_tests.size(); ++i) {
        if (registered_tests[i].name == name) return i;
    }
    return 0;
}

using Request = std::array<std::byte, vorn::protocol::header_size + vorn::protocol::run_test_body_size>;
using Reply = std::array<std::byte, vorn::protocol::header_size + vorn::protocol::test_results_body_size>;

Request runTestRequest(std::uint32_t index) {
    Request request{};
    const auto header =
        vorn::protocol::encodeHeader({static_cast<std::uint32_t>(vorn::protocol::ClientTag::run_test),
                                      vorn::protocol::run_test_body_size});
    std::copy(header.begin(), header.end(), request.begin());
    vorn::protocol::writeU32(std::span(request).subspan<8, 4>(), index);
    return request;
}

// Measures request/reply round trips with a child that is started once.
void measureRoundTrips(benchmark::State& state, PipedChild& child, const Request& request) {
    Reply reply{};
    for (auto _ : state) {
        if (!child.writeAll(request.data(), request.size()) ||
            !child.readExactly(reply.data(), reply.size())) {
            state.SkipWithError("the child stopped answering");
            break;
        }
    }
    const std::uint32_t flags = vorn::protocol::readU32(std::span<const std::byte>(reply).subspan<12, 4>());
    if (flags != 0) state.SkipWithError("the test did not pass");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_server_run_test_round_trip(benchmark::State& state) {
    PipedChild child(VORN_SELFTEST_PATH, {"--listen=-"});
    std::array<std::byte, vorn::protocol::header_size> header_bytes{};
    if (!child.started() || !child.readExactly(header_bytes.data(), header_bytes.size())) {
        return state.SkipWithError("vorn_selftest --listen=- did not start");
    }
    // Skip the version string that opens the session.
    const auto header = vorn::protocol::readHeader(header_bytes);
    std::array<char, 256> version{};
    if (header.bytes_len > version.size() || !child.readExactly(version.data(), header.bytes_len)) {
        return state.SkipWithError("no version string");
    }
    // A test with one check and no allocation: the round trip is almost all protocol.
    const std::uint32_t index = indexOf("vorn_physics.test.Physics: Damping force");
    measureRoundTrips(state, child, runTestRequest(index));
    if (child.finish() != 0) state.SkipWithError("server mode did not exit with status 0");
}
BENCHMARK(BM_server_run_test_round_trip)->UseRealTime();

// The floor: another process that answers the same 12 bytes with 16, doing nothing else.
void BM_pipe_echo_round_trip(benchmark::State& state) {
    PipedChild child(VORN_PIPE_ECHO_PATH, {});
    if (!child.started()) return state.SkipWithError("the echo program did not start");
    measureRoundTrips(state, child, runTestRequest(5));
}
BENCHMARK(BM_pipe_echo_round_trip)->UseRealTime();

}  // namespace
}  // namespace vorn::bench
