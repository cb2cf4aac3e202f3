// The server-mode loop: sends the version string, then answers messages until `exit`, the end
// of the input, or a message it cannot serve. It never exits the process itself; it tells the
// caller why it stopped.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <span>
#include <string_view>

#include "runner_internal.hpp"
#include "server_io.hpp"
#include "vorn_testing.hpp"

namespace vorn::runner::server {

// How the loop reaches the runner's per-test machinery. runnerHooks() (server_mode.cpp) binds
// these to the runner itself; tests and the fuzzer bind them to fakes.
struct TestHooks {
    void (*reset_allocator)();
    std::pmr::memory_resource& (*allocator)();
    bool (*check_leaks)();
    detail::TestOutcome (*call_test)(const vorn::testing::TestCase&);
    void (*print_error_trace)();
    std::uint64_t (*log_err_count)();
    void (*reset_log_err_count)();
};

struct ServerStreams {
    ByteSource& input;
    ByteSink& frames;       // framed messages only
    ByteSink& diagnostics;  // one-line reports of input the loop refuses
};

enum class StopReason : std::uint8_t {
    exit_requested,       // `exit` received
    input_ended,          // the input ended between two messages: the parent is gone
    unsupported_message,  // a tag the runner does not know
    malformed_message,    // truncated, oversized, or naming a test that does not exist
    runner_failure,       // reading, writing or allocating failed
    metadata_leak,        // building test_metadata leaked from the per-test allocator
};

// The process exit status for a stop that ends normally; the last two stops are fatal instead.
int exitStatus(StopReason reason);

// `version` is the text of the version-string message sent first. `receive_buffer` must hold at
// least a header; its size bounds the longest message accepted.
StopReason serve(std::span<const vorn::testing::TestCase> tests, ServerStreams streams,
                 std::span<std::byte> receive_buffer, const TestHooks& hooks, std::string_view version);

}  // namespace vorn::runner::server
