// Server mode end to end: the real executables on pipes, driven by a parent that knows only
// the wire format.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include "registered_test_table.hpp"
#include "server_client.hpp"

namespace vorn::server_test {
namespace {

const std::string selftest = VORN_SELFTEST_PATH;
const std::string fixture = VORN_SERVER_FIXTURE_PATH;

constexpr std::uint32_t fixture_tests = 7;
enum FixtureTest : std::uint32_t {
    passes,
    fails,
    skips,
    leaks,
    logs_two_errors,
    prints_to_stdout,
    reads_stdin
};

void expectVersionFrame(ServerClient& client) {
    const auto frame = client.nextFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->tag, 0u);
    EXPECT_EQ(asText(frame->body), "vorn " VORN_VERSION);
}

TestResults runOne(ServerClient& client, std::uint32_t index) {
    EXPECT_TRUE(client.send(runTest(index)));
    const auto frame = client.nextFrame();
    EXPECT_TRUE(frame.has_value()) << "no answer to run_test " << index;
    const auto results = frame ? asTestResults(*frame) : std::nullopt;
    EXPECT_TRUE(results.has_value());
    return results.value_or(TestResults{~0u, ~0u});
}

void expectCleanExit(ServerClient& client) {
    ASSERT_TRUE(client.send(exitMessage()));
    const ChildEnd end = client.finish(InputAtFinish::keep_open);
    EXPECT_TRUE(end.finished && end.exited);
    EXPECT_EQ(end.status, 0);
    EXPECT_TRUE(client.pendingStdout().empty());
}

TEST(ServerEndToEnd, SelftestListsItsTestsAndRunsEachInAnyOrder) {
    const auto& table = vorn::selftest::registered_tests;
    const auto count = static_cast<std::uint32_t>(table.size());
    ServerClient client(selftest);
    expectVersionFrame(client);
    ASSERT_TRUE(client.send(queryMetadata()));
    const auto frame = client.nextFrame();
    ASSERT_TRUE(frame.has_value());
    const auto metadata = asTestMetadata(*frame);
    ASSERT_TRUE(metadata.has_value());
    ASSERT_EQ(metadata->names.size(), count);
    for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(metadata->names[i], table[i].name);
        EXPECT_EQ(metadata->expected_panic_msgs[i], 0u);
    }

    for (std::uint32_t i = count; i-- > 0;) {
        const TestResults results = runOne(client, i);
        EXPECT_EQ(results.index, i);
        EXPECT_EQ(results.flags, 0u) << metadata->names[i];
    }
    for (const std::uint32_t i : {13u, 13u, 0u, count - 1, 13u}) EXPECT_EQ(runOne(client, i).index, i);
    expectCleanExit(client);
}

TEST(ServerEndToEnd, ExitAsFirstMessageWritesOnlyTheVersionString) {
    ServerClient client(selftest);
    expectVersionFrame(client);
    expectCleanExit(client);
    EXPECT_EQ(client.stderrText(), "");
}

TEST(ServerEndToEnd, InputClosedBetweenMessagesEndsWithStatusZero) {
    ServerClient client(selftest);
    expectVersionFrame(client);
    EXPECT_EQ(runOne(client, 0).index, 0u);
    const ChildEnd end = client.finish();
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(end.status, 0);
    EXPECT_TRUE(client.pendingStdout().empty());
}

TEST(ServerEndToEnd, FixtureReportsEachOutcomeInTheFlags) {
    ServerClient client(fixture);
    expectVersionFrame(client);
    EXPECT_EQ(runOne(client, passes).flags, 0u);
    EXPECT_EQ(runOne(client, fails).flags, protocol::flag_fail);
    EXPECT_EQ(runOne(client, skips).flags, protocol::flag_skip);
    // The leak is also logged at error level, which counts.
    EXPECT_EQ(runOne(client, leaks).flags, protocol::flag_leak | (1u << 3));
    EXPECT_EQ(runOne(client, logs_two_errors).flags, 2u << 3);
    EXPECT_EQ(runOne(client, passes).flags, 0u) << "counts start from zero for every run";
    expectCleanExit(client);
    EXPECT_NE(client.stderrText().find("first error"), std::string::npos);
}

TEST(ServerEndToEnd, NothingATestPrintsReachesTheFrameStream) {
    ServerClient client(fixture);
    expectVersionFrame(client);
    const TestResults results = runOne(client, prints_to_stdout);
    EXPECT_EQ(results.index, prints_to_stdout);
    EXPECT_EQ(results.flags, 0u);
    EXPECT_EQ(runOne(client, passes).index, passes);
    expectCleanExit(client);
    const std::string& err = client.stderrText();
    for (const char* text :
         {"printf without a line end", "puts", "cout 42", "fwrite", "raw write", "left in the buffer"}) {
        EXPECT_NE(err.find(text), std::string::npos) << text;
    }
}

TEST(ServerEndToEnd, TestsCannotReadTheParentsMessages) {
    ServerClient client(fixture);
    expectVersionFrame(client);
    ASSERT_TRUE(client.send(concat({runTest(reads_stdin), runTest(passes)})));
    const auto first = client.nextFrame();
    const auto second = client.nextFrame();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(asTestResults(*first)->flags, 0u);
    EXPECT_EQ(asTestResults(*second)->index, passes);
    expectCleanExit(client);
}

TEST(ServerEndToEnd, MessagesSplitAcrossWritesAreReassembled) {
    ServerClient client(fixture);
    expectVersionFrame(client);
    const Bytes both = concat({queryMetadata(), runTest(fails)});
    for (const std::byte b : both) ASSERT_TRUE(client.send(Bytes{b}));
    const auto metadata = client.nextFrame();
    ASSERT_TRUE(metadata.has_value());
    const auto decoded = asTestMetadata(*metadata);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->names.size(), fixture_tests);
    EXPECT_EQ(decoded->names[prints_to_stdout], "server_fixture.test.prints to stdout");
    const auto results = client.nextFrame();
    ASSERT_TRUE(results.has_value());
    EXPECT_EQ(asTestResults(*results)->flags, protocol::flag_fail);
    expectCleanExit(client);
}

struct Refusal {
    const char* what;
    Bytes input;
    bool needs_end_of_input;  // the runner can only know once the input ends
    std::string stderr_text;
};

TEST(ServerEndToEnd, BadInputEndsTheRunnerWithStatusOne) {
    const std::vector<Refusal> cases{
        {"unsupported tag", message(2), false, "unsupported message: 2"},
        {"unsupported tag with an unsent body", rawMessage(0x1f, 64), false, "unsupported message: 1f"},
        {"index not below the table", runTest(fixture_tests), false,
         "run_test index 7 is not below the number of tests, 7\n"},
        {"short run_test body", rawMessage(5, 2, Bytes(2)), false,
         "run_test body has 2 bytes, but the test index needs 4\n"},
        {"body larger than the buffer", rawMessage(4, 0x7fffffff), false,
         "message with tag 4 declares a body of 2147483647 bytes, but the receive buffer holds at most "
         "4088\n"},
        {"end inside a header", Bytes(5), true, "input ended inside a message header after 5 of 8 bytes\n"},
        {"end inside a body", rawMessage(5, 4, Bytes(1)), true,
         "input ended inside the body of a message with tag 5 after 1 of 4 bytes\n"},
    };
    for (const Refusal& c : cases) {
        ServerClient client(fixture);
        expectVersionFrame(client);
        ASSERT_TRUE(client.send(c.input)) << c.what;
        const ChildEnd end =
            client.finish(c.needs_end_of_input ? InputAtFinish::close : InputAtFinish::keep_open);
        EXPECT_TRUE(end.finished) << c.what << ": still running, waiting for input that cannot help";
        EXPECT_TRUE(end.exited) << c.what;
        EXPECT_EQ(end.status, 1) << c.what;
        EXPECT_EQ(client.stderrText(), c.stderr_text) << c.what;
        EXPECT_TRUE(client.pendingStdout().empty()) << c.what;
    }
}

void expectRunnerFailure(ServerClient& client) {
    const ChildEnd end = client.finish(InputAtFinish::keep_open);
    EXPECT_TRUE(end.finished);
    EXPECT_FALSE(end.exited);
    EXPECT_EQ(end.signal, SIGABRT);
    EXPECT_NE(client.stderrText().find("panic: internal test runner failure\n"), std::string::npos)
        << client.stderrText();
}

// A parent may hand over pipes with O_NONBLOCK set (it lives in the pipe, shared by every
// process holding it). The runner waits for input and for room in its outputs; it never takes
// "not ready yet" for a failure, and loses no log line. The two waits make sure it has met an
// empty input and full outputs before it gets what it waits for.
TEST(ServerEndToEnd, NonBlockingPipesAreWaitedOn) {
    ServerClient client(fixture, StdinKind::nonblocking_pipe, StdoutKind::nonblocking_pipe);
    expectVersionFrame(client);
    ASSERT_TRUE(client.waitUntilBlocked(Blocked::on_input));
    // 1000 results (16000 bytes) and 1000 log lines, far more than the pipes hold unread.
    constexpr std::uint32_t runs = 1000;
    const Bytes pair = concat({runTest(passes), runTest(logs_two_errors)});
    Bytes input(runs / 2 * pair.size());
    for (auto at = input.begin(); at != input.end();) at = std::copy(pair.begin(), pair.end(), at);
    ASSERT_TRUE(client.send(input));
    ASSERT_TRUE(client.waitUntilBlocked(Blocked::on_output));
    for (std::uint32_t i = 0; i < runs; ++i) {
        const auto frame = client.nextFrame();
        ASSERT_TRUE(frame.has_value()) << "result " << i << " of " << runs << ": " << client.stderrText();
        const auto results = asTestResults(*frame);
        ASSERT_TRUE(results.has_value());
        ASSERT_EQ(results->flags, i % 2 == 0 ? 0u : 2u << 3);
    }
    expectCleanExit(client);
    std::size_t logged = 0;
    for (std::size_t at = 0; (at = client.stderrText().find("second error\n", at)) != std::string::npos;
         ++at) {
        ++logged;
    }
    EXPECT_EQ(logged, runs / 2);
}

TEST(ServerEndToEnd, UnwritableOutputIsAFatalRunnerFailure) {
    ServerClient client(fixture, StdinKind::pipe, StdoutKind::closed_pipe);
    expectRunnerFailure(client);
}

TEST(ServerEndToEnd, UnreadableInputIsAFatalRunnerFailure) {
    ServerClient client(fixture, StdinKind::unreadable);
    expectVersionFrame(client);
    expectRunnerFailure(client);
}

}  // namespace
}  // namespace vorn::server_test
