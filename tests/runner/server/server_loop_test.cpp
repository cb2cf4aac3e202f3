// The server loop driven in-process: every message kind, every way the input can go wrong, and
// every way reading or writing can fail.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "server_fakes.hpp"

namespace vorn::server_test {
namespace {

using vorn::runner::server::exitStatus;
using vorn::runner::server::StopReason;

constexpr std::string_view version = "vorn test-build";

struct Session {
    StopReason reason;
    std::vector<Frame> frames;  // after the version-string frame
    std::string diagnostics;
    std::size_t consumed;
};

struct SessionOptions {
    std::size_t chunk = SIZE_MAX;
    std::optional<std::size_t> read_fails_at;
    std::optional<std::size_t> write_fails_from;
    std::size_t buffer_size = 4096;
};

SessionOptions chunked(std::size_t chunk) {
    SessionOptions options;
    options.chunk = chunk;
    return options;
}
SessionOptions readFailsAt(std::size_t at) {
    SessionOptions options = chunked(1);
    options.read_fails_at = at;
    return options;
}
SessionOptions writeFailsFrom(std::size_t from) {
    SessionOptions options;
    options.write_fails_from = from;
    return options;
}
SessionOptions bufferOf(std::size_t size) {
    SessionOptions options;
    options.buffer_size = size;
    return options;
}

class ServerLoop : public ::testing::Test {
protected:
    void SetUp() override { fakeRunner() = FakeRunner{}; }

    Session serve(const Bytes& input, SessionOptions options = {}) {
        ScriptedSource source(input, options.chunk, options.read_fails_at);
        MemorySink frames(options.write_fails_from);
        MemorySink diagnostics;
        std::vector<std::byte> buffer(options.buffer_size);
        const StopReason reason = vorn::runner::server::serve(syntheticTable(), {source, frames, diagnostics},
                                                              buffer, fakeHooks(), version);
        for (const auto request : source.requests) {
            EXPECT_LE(request.size(), 256u);
            EXPECT_GE(request.data(), buffer.data());
            EXPECT_LE(request.data() + request.size(), buffer.data() + buffer.size());
        }
        auto split = splitFrames(frames.data);
        EXPECT_TRUE(split.has_value()) << "the frame stream ends inside a frame";
        Session session{reason, {}, asText(diagnostics.data), source.consumed};
        if (split && !split->empty()) {
            EXPECT_EQ(split->front().tag, 0u);
            EXPECT_EQ(asText(split->front().body), version);
            session.frames.assign(split->begin() + 1, split->end());
        }
        return session;
    }

    static TestResults results(const Session& session, std::size_t i) {
        const auto parsed = asTestResults(session.frames.at(i));
        EXPECT_TRUE(parsed.has_value());
        return parsed.value_or(TestResults{~0u, ~0u});
    }
};

TEST_F(ServerLoop, ExitAsFirstMessageSendsOnlyTheVersionString) {
    const Session s = serve(exitMessage());
    EXPECT_EQ(s.reason, StopReason::exit_requested);
    EXPECT_EQ(exitStatus(s.reason), 0);
    EXPECT_TRUE(s.frames.empty());
    EXPECT_TRUE(s.diagnostics.empty());
    EXPECT_TRUE(fakeRunner().calls.empty());
}

TEST_F(ServerLoop, InputEndingBetweenMessagesEndsQuietlyWithStatusZero) {
    for (const Bytes& input : {Bytes{}, runTest(passing_test)}) {
        const Session s = serve(input);
        EXPECT_EQ(s.reason, StopReason::input_ended);
        EXPECT_EQ(exitStatus(s.reason), 0);
        EXPECT_TRUE(s.diagnostics.empty());
        EXPECT_EQ(s.frames.size(), input.empty() ? 0u : 1u);
    }
}

TEST_F(ServerLoop, MetadataListsTheTableWithOffsetsAndZeroPanicEntries) {
    const Session s = serve(concat({queryMetadata(), exitMessage()}));
    ASSERT_EQ(s.reason, StopReason::exit_requested);
    ASSERT_EQ(s.frames.size(), 1u);
    const auto metadata = asTestMetadata(s.frames[0]);
    ASSERT_TRUE(metadata.has_value());
    const auto table = syntheticTable();
    ASSERT_EQ(metadata->names.size(), table.size());
    std::string expected_strings(1, '\0');
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(metadata->names[i], table[i].name);
        EXPECT_EQ(metadata->expected_panic_msgs[i], 0u);
        expected_strings.append(table[i].name).push_back('\0');
    }
    EXPECT_EQ(asText(metadata->string_bytes), expected_strings);
    EXPECT_EQ(u32At(s.frames[0].body, 0), expected_strings.size());
    // The first name directly follows the leading 0 byte.
    EXPECT_EQ(u32At(s.frames[0].body, 8), 1u);
}

TEST_F(ServerLoop, MetadataIsBuiltWithTheFreshTestAllocatorAndFreed) {
    const Session s = serve(concat({queryMetadata(), exitMessage()}));
    ASSERT_EQ(s.reason, StopReason::exit_requested);
    EXPECT_EQ(fakeRunner().allocator_resets, 1);
    EXPECT_EQ(fakeRunner().resource.allocations, 1u);
    EXPECT_EQ(fakeRunner().resource.live_bytes, 0u);
    EXPECT_EQ(fakeRunner().events, "AL");
}

TEST_F(ServerLoop, MetadataForAnEmptyTableIsTheLoneZeroByte) {
    ScriptedSource source(concat({queryMetadata(), exitMessage()}));
    MemorySink frames, diagnostics;
    std::array<std::byte, 64> buffer{};
    EXPECT_EQ(vorn::runner::server::serve({}, {source, frames, diagnostics}, buffer, fakeHooks(), version),
              StopReason::exit_requested);
    const auto split = splitFrames(frames.data);
    ASSERT_TRUE(split && split->size() == 2);
    const Frame& frame = (*split)[1];
    EXPECT_EQ(frame.tag, 3u);
    const Bytes expected = concat({{std::byte{1}, {}, {}, {}}, Bytes(4), Bytes{std::byte{0}}});
    EXPECT_EQ(frame.body, expected);
}

TEST_F(ServerLoop, LeakWhileBuildingMetadataIsReportedAsSuch) {
    fakeRunner().always_leak = true;
    const Session s = serve(concat({queryMetadata(), exitMessage()}));
    EXPECT_EQ(s.reason, StopReason::metadata_leak);
}

TEST_F(ServerLoop, MetadataAllocationFailureIsARunnerFailure) {
    fakeRunner().resource.fail = true;
    const Session s = serve(concat({queryMetadata(), exitMessage()}));
    EXPECT_EQ(s.reason, StopReason::runner_failure);
    EXPECT_TRUE(s.frames.empty());
}

TEST_F(ServerLoop, ResultsCarryTheIndexAndTheOutcomeFlags) {
    const Session s =
        serve(concat({runTest(passing_test), runTest(failing_test), runTest(skipped_test),
                      runTest(leaking_test), runTest(logging_test), runTest(flooding_test), exitMessage()}));
    ASSERT_EQ(s.reason, StopReason::exit_requested);
    ASSERT_EQ(s.frames.size(), 6u);
    const std::array<std::uint32_t, 6> expected_flags{0,
                                                      protocol::flag_fail,
                                                      protocol::flag_skip,
                                                      protocol::flag_leak,
                                                      static_cast<std::uint32_t>(logging_test_count) << 3,
                                                      536870911u << 3};
    for (std::uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(results(s, i).index, i);
        EXPECT_EQ(results(s, i).flags, expected_flags[i]) << "test " << i;
    }
    EXPECT_EQ(results(s, 5).flags, 0xfffffff8u);
}

TEST_F(ServerLoop, EachRunStartsFreshAndOnlyFailuresPrintATrace) {
    const Session s =
        serve(concat({runTest(passing_test), runTest(failing_test), runTest(skipped_test), exitMessage()}));
    ASSERT_EQ(s.reason, StopReason::exit_requested);
    // Allocator and log count reset before each test; the leak check after it (and after the
    // trace of a failure).
    EXPECT_EQ(fakeRunner().events,
              "ARTL"
              "ARTPL"
              "ARTL");
    EXPECT_EQ(fakeRunner().traces_printed, 1);
}

TEST_F(ServerLoop, LeakAndLogCountDoNotCarryOverToTheNextRun) {
    const Session s =
        serve(concat({runTest(leaking_test), runTest(logging_test), runTest(passing_test), exitMessage()}));
    ASSERT_EQ(s.frames.size(), 3u);
    EXPECT_EQ(results(s, 0).flags, protocol::flag_leak);
    EXPECT_EQ(results(s, 1).flags, logging_test_count << 3);
    EXPECT_EQ(results(s, 2).flags, 0u);
}

TEST_F(ServerLoop, TestsRunInAnyOrderAnyNumberOfTimesBetweenQueries) {
    const Session s = serve(concat({runTest(2), runTest(0), queryMetadata(), runTest(2), runTest(2),
                                    runTest(1), queryMetadata(), exitMessage()}));
    ASSERT_EQ(s.reason, StopReason::exit_requested);
    ASSERT_EQ(s.frames.size(), 7u);
    const std::array<std::optional<std::uint32_t>, 7> expected{2, 0, std::nullopt, 2, 2, 1, std::nullopt};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i]) {
            EXPECT_EQ(results(s, i).index, *expected[i]);
        } else {
            EXPECT_TRUE(asTestMetadata(s.frames[i]).has_value());
        }
    }
    EXPECT_EQ(fakeRunner().calls,
              (std::vector<std::string>{"fake.test.skips", "fake.test.passes", "fake.test.skips",
                                        "fake.test.skips", "fake.test.fails"}));
}

TEST_F(ServerLoop, ByteAtATimeInputGivesTheSameAnswers) {
    const Bytes input = concat({queryMetadata(), runTest(1), runTest(0), exitMessage()});
    const Session whole = serve(input);
    SetUp();
    const Session trickled = serve(input, chunked(1));
    ASSERT_EQ(trickled.reason, StopReason::exit_requested);
    ASSERT_EQ(whole.frames.size(), trickled.frames.size());
    for (std::size_t i = 0; i < whole.frames.size(); ++i)
        EXPECT_EQ(whole.frames[i].body, trickled.frames[i].body);
}

TEST_F(ServerLoop, ManyPipelinedMessagesAreReadInBoundedChunks) {
    Bytes input;
    for (int i = 0; i < 600; ++i) input = concat({input, runTest(static_cast<std::uint32_t>(i % 6))});
    input = concat({input, exitMessage()});
    const Session s = serve(input);  // checks every read against 256 bytes and the buffer
    ASSERT_EQ(s.reason, StopReason::exit_requested);
    ASSERT_EQ(s.frames.size(), 600u);
    for (std::size_t i = 0; i < 600; ++i) EXPECT_EQ(results(s, i).index, i % 6);
}

TEST_F(ServerLoop, UnsupportedTagsAreNamedInLowerCaseHexWithoutLineEnd) {
    const std::array<std::pair<std::uint32_t, std::string_view>, 7> cases{{{1, "1"},
                                                                           {2, "2"},
                                                                           {3, "3"},
                                                                           {6, "6"},
                                                                           {0x2a, "2a"},
                                                                           {0xdeadbeef, "deadbeef"},
                                                                           {0xffffffff, "ffffffff"}}};
    for (const auto& [tag, hex] : cases) {
        SetUp();
        // The declared body is never waited for: the unsupported tag alone decides.
        const Session s = serve(concat({runTest(0), rawMessage(tag, 1000), runTest(0)}));
        EXPECT_EQ(s.reason, StopReason::unsupported_message);
        EXPECT_EQ(exitStatus(s.reason), 1);
        EXPECT_EQ(s.diagnostics, "unsupported message: " + std::string(hex));
        EXPECT_EQ(s.frames.size(), 1u) << "nothing may follow the unsupported message";
        EXPECT_EQ(fakeRunner().calls.size(), 1u);
    }
}

TEST_F(ServerLoop, InputEndingInsideAHeaderNamesHowMuchArrived) {
    const Bytes full = runTest(0);
    for (std::size_t cut = 1; cut < 8; ++cut) {
        const Session s = serve(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_EQ(s.reason, StopReason::malformed_message);
        EXPECT_EQ(exitStatus(s.reason), 1);
        EXPECT_EQ(s.diagnostics,
                  "input ended inside a message header after " + std::to_string(cut) + " of 8 bytes\n");
        EXPECT_TRUE(fakeRunner().calls.empty());
    }
}

TEST_F(ServerLoop, InputEndingInsideABodyNamesTagAndLengths) {
    const Bytes input = concat({runTest(0), rawMessage(5, 4, std::vector<std::byte>(3))});
    const Session s = serve(input);
    EXPECT_EQ(s.reason, StopReason::malformed_message);
    EXPECT_EQ(s.diagnostics, "input ended inside the body of a message with tag 5 after 3 of 4 bytes\n");
    EXPECT_EQ(s.frames.size(), 1u);

    const Session q = serve(rawMessage(4, 100, std::vector<std::byte>(10)));
    EXPECT_EQ(q.diagnostics, "input ended inside the body of a message with tag 4 after 10 of 100 bytes\n");
    EXPECT_TRUE(q.frames.empty());
}

TEST_F(ServerLoop, RunTestBodyShorterThanAnIndexIsRefused) {
    for (std::uint32_t len = 0; len < 4; ++len) {
        const Session s = serve(rawMessage(5, len, std::vector<std::byte>(len)));
        EXPECT_EQ(s.reason, StopReason::malformed_message);
        EXPECT_EQ(s.diagnostics,
                  "run_test body has " + std::to_string(len) + " bytes, but the test index needs 4\n");
        EXPECT_TRUE(s.frames.empty());
        EXPECT_TRUE(fakeRunner().calls.empty());
    }
}

TEST_F(ServerLoop, RunTestBodyLongerThanAnIndexUsesItsFirstFourBytes) {
    Bytes body;
    appendU32(body, 2);
    appendU32(body, 0);  // must not be taken for a second index or the next header
    const Session s = serve(concat({message(5, body), runTest(1), exitMessage()}));
    ASSERT_EQ(s.reason, StopReason::exit_requested);
    ASSERT_EQ(s.frames.size(), 2u);
    EXPECT_EQ(results(s, 0).index, 2u);
    EXPECT_EQ(results(s, 1).index, 1u);
}

TEST_F(ServerLoop, IndexNotBelowTheTableSizeIsRefusedWithoutRunningAnything) {
    for (const std::uint32_t index : {6u, 7u, 0x80000000u, 0xffffffffu}) {
        SetUp();
        const Session s = serve(concat({runTest(index), exitMessage()}));
        EXPECT_EQ(s.reason, StopReason::malformed_message);
        EXPECT_EQ(s.diagnostics,
                  "run_test index " + std::to_string(index) + " is not below the number of tests, 6\n");
        EXPECT_TRUE(s.frames.empty());
        EXPECT_TRUE(fakeRunner().calls.empty());
        EXPECT_EQ(fakeRunner().allocator_resets, 0);
    }
}

TEST_F(ServerLoop, BodyTooLongForTheBufferIsRefusedBeforeReadingIt) {
    for (const std::uint32_t len : {4089u, 100000u, 0xffffffffu}) {
        const Session s = serve(concat({rawMessage(4, len), Bytes(300)}));
        EXPECT_EQ(s.reason, StopReason::malformed_message);
        EXPECT_EQ(s.diagnostics, "message with tag 4 declares a body of " + std::to_string(len) +
                                     " bytes, but the receive buffer holds at most 4088\n");
        EXPECT_TRUE(s.frames.empty());
        EXPECT_LE(s.consumed, 256u) << "read no further than the first chunk";
    }
}

TEST_F(ServerLoop, BodyThatExactlyFillsTheBufferIsAccepted) {
    const Session s = serve(concat({message(4, Bytes(4088)), message(5, Bytes(4088)), exitMessage()}));
    ASSERT_EQ(s.reason, StopReason::exit_requested);
    ASSERT_EQ(s.frames.size(), 2u);
    EXPECT_TRUE(asTestMetadata(s.frames[0]).has_value());
    EXPECT_EQ(results(s, 1).index, 0u);
}

TEST_F(ServerLoop, SmallReceiveBufferBoundsTheLongestMessage) {
    const Session fits = serve(concat({message(4, Bytes(8)), exitMessage()}), bufferOf(16));
    EXPECT_EQ(fits.reason, StopReason::exit_requested);
    const Session too_long = serve(concat({message(4, Bytes(9)), exitMessage()}), bufferOf(16));
    EXPECT_EQ(too_long.diagnostics,
              "message with tag 4 declares a body of 9 bytes, but the receive buffer holds at most 8\n");
    const Session no_room = serve(exitMessage(), bufferOf(7));
    EXPECT_EQ(no_room.reason, StopReason::runner_failure);
}

TEST_F(ServerLoop, BodiesOfExitAndQueryAreReadAndIgnored) {
    const Bytes junk{std::byte{5}, std::byte{0}, std::byte{0}, std::byte{0}, std::byte{4}, std::byte{0}};
    const Session s = serve(concat({message(4, junk), runTest(0), message(0, junk), runTest(1)}));
    EXPECT_EQ(s.reason, StopReason::exit_requested);
    ASSERT_EQ(s.frames.size(), 2u);
    EXPECT_TRUE(asTestMetadata(s.frames[0]).has_value());
    EXPECT_EQ(results(s, 1).index, 0u);
    EXPECT_EQ(fakeRunner().calls.size(), 1u);
}

TEST_F(ServerLoop, ExitWithBodyStillWaitsForTheWholeBody) {
    const Session s = serve(rawMessage(0, 4, Bytes(2)));
    EXPECT_EQ(s.reason, StopReason::malformed_message);
    EXPECT_EQ(s.diagnostics, "input ended inside the body of a message with tag 0 after 2 of 4 bytes\n");
}

TEST_F(ServerLoop, ReadFailureAnywhereIsARunnerFailure) {
    const Bytes input = concat({runTest(0), runTest(1), exitMessage()});
    for (std::size_t at : {0u, 3u, 8u, 10u, 12u, 20u}) {
        const Session s = serve(input, readFailsAt(at));
        EXPECT_EQ(s.reason, StopReason::runner_failure) << "failing at byte " << at;
        EXPECT_TRUE(s.diagnostics.empty());
    }
}

TEST_F(ServerLoop, WriteFailureAnywhereIsARunnerFailure) {
    const Bytes input = concat({runTest(0), queryMetadata(), runTest(1), exitMessage()});
    std::size_t total_writes = 0;
    {
        ScriptedSource source(input);
        MemorySink frames, diagnostics;
        std::vector<std::byte> buffer(4096);
        ASSERT_EQ(vorn::runner::server::serve(syntheticTable(), {source, frames, diagnostics}, buffer,
                                              fakeHooks(), version),
                  StopReason::exit_requested);
        total_writes = frames.writes;
    }
    for (std::size_t from = 0; from < total_writes; ++from) {
        SetUp();
        const Session s = serve(input, writeFailsFrom(from));
        EXPECT_EQ(s.reason, StopReason::runner_failure) << "failing from write " << from;
    }
}

TEST_F(ServerLoop, SourceClaimingMoreThanItWasGivenIsNotTrusted) {
    class LyingSource final : public vorn::runner::server::ByteSource {
    public:
        std::optional<std::size_t> read(std::span<std::byte> into) override { return into.size() + 1; }
    } source;
    MemorySink frames, diagnostics;
    std::vector<std::byte> buffer(64);
    EXPECT_EQ(vorn::runner::server::serve(syntheticTable(), {source, frames, diagnostics}, buffer,
                                          fakeHooks(), version),
              StopReason::runner_failure);
}

}  // namespace
}  // namespace vorn::server_test
