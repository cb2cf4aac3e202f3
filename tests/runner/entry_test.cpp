// The command line, fatal stops and crash reports, seen from outside the process.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "child_process.hpp"
#include "text_pattern.hpp"

namespace vorn::runner_tests {
namespace {

// The panic line, then a stack trace, then nothing else: no test ran and no summary came.
void expectPanic(const ChildResult& run, const std::string& message) {
    EXPECT_EQ(run.signal, SIGABRT);
    EXPECT_FALSE(run.exit_status.has_value());
    const std::string first_line = run.err.substr(0, run.err.find('\n'));
    EXPECT_TRUE(matchesPattern(first_line, "thread # panic: " + message)) << run.err;
    EXPECT_NE(first_line.rfind("thread 0", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find("fixture.test."), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("passed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("    #0 "), std::string::npos) << "no stack trace:\n" << run.err;
    EXPECT_EQ(run.out, "");
}

TEST(Entry, UnknownArgumentIsFatal) {
    expectPanic(runChild(fixturePath(), "pass", {"--verbose"}), "unrecognized command line argument");
}

TEST(Entry, ListenWithoutDashIsFatal) {
    expectPanic(runChild(fixturePath(), "pass", {"--listen"}), "unrecognized command line argument");
}

TEST(Entry, ListenMustMatchByteForByte) {
    expectPanic(runChild(fixturePath(), "pass", {"--listen=-x"}), "unrecognized command line argument");
    expectPanic(runChild(fixturePath(), "pass", {"--listen=-", "-"}), "unrecognized command line argument");
}

TEST(Entry, ArgumentsLargerThanTheBufferAreFatal) {
    expectPanic(runChild(fixturePath(), "pass", {std::string(5000, 'a')}),
                "unable to parse command line args");
    // Small arguments that add up past 4096 bytes as well.
    expectPanic(runChild(fixturePath(), "pass", std::vector<std::string>(3, std::string(1500, '-'))),
                "unable to parse command line args");
}

TEST(Entry, LargeArgumentThatFitsIsJustUnrecognized) {
    expectPanic(runChild(fixturePath(), "pass", {std::string(3000, 'a')}),
                "unrecognized command line argument");
}

TEST(Entry, ListenSelectsServerModeEvenWhenRepeated) {
    // With standard input at its end, server mode sends its greeting and stops; terminal mode
    // would have printed a test line instead.
    for (const auto& arguments :
         {std::vector<std::string>{"--listen=-"}, std::vector<std::string>{"--listen=-", "--listen=-"}}) {
        const ChildResult run = runChild(fixturePath(), "pass", arguments);
        EXPECT_EQ(run.err.find("fixture.test.passes..."), std::string::npos) << run.err;
        EXPECT_GE(run.out.size(), 8u);
        EXPECT_EQ(run.out.substr(0, 4), std::string(4, '\0'));  // the version-string tag
    }
}

TEST(Entry, ServerModeThatCannotWriteIsAnInternalFailure) {
    const ChildResult run = runChild(fixturePath(), "pass", {"--listen=-"}, {.close_stdout = true});
    expectPanic(run, "internal test runner failure");
}

TEST(Entry, ReaderOfStandardErrorGoingAwayDoesNotKillTheRun) {
    // With the broken-pipe signal harmless, the writes fail and the run finishes normally.
    const ChildResult passing = runChild(fixturePath(), "pass", {}, {.stderr_to_closed_pipe = true});
    EXPECT_EQ(passing.signal, std::nullopt);
    EXPECT_EQ(passing.exit_status, 0);
    const ChildResult failing = runChild(fixturePath(), "mixed", {}, {.stderr_to_closed_pipe = true});
    EXPECT_EQ(failing.signal, std::nullopt);
    EXPECT_EQ(failing.exit_status, 1);
}

TEST(Entry, BadPointerReportsTheFaultAddressAndDiesOfTheSignal) {
    const ChildResult run = runChild(fixturePath(), "crash");
    EXPECT_EQ(run.signal, SIGSEGV);
    const std::string heading = "1/2 fixture.test.dereferences a bad pointer...";
    ASSERT_EQ(run.err.substr(0, heading.size()), heading) << run.err;
    const std::string report = "Segmentation fault at address 0x10\n";
    EXPECT_EQ(run.err.substr(heading.size(), report.size()), report) << run.err;
    // A stack trace follows, and the next test never ran.
    EXPECT_GT(run.err.size(), heading.size() + report.size());
    EXPECT_EQ(run.err.find("2/2"), std::string::npos) << run.err;
}

TEST(Entry, IllegalInstructionAndBusErrorAreReportedLikeAFault) {
    const ChildResult illegal = runChild(fixturePath(), "illegal");
    EXPECT_EQ(illegal.signal, SIGILL);
    EXPECT_TRUE(matchesPattern(
        illegal.err, "1/1 fixture.test.illegal instruction...Illegal instruction at address 0x%\n*"))
        << illegal.err;

    const ChildResult bus = runChild(fixturePath(), "bus");
    EXPECT_EQ(bus.signal, SIGBUS);
    EXPECT_TRUE(matchesPattern(bus.err, "1/1 fixture.test.bus error...Bus error at address 0x%\n*"))
        << bus.err;
}

#ifdef VORN_RUNNER_STATIC_FIXTURE_PATH
// Without a dynamic loader to ask for names, each frame of the program is given as its offset
// in the executable (for addr2line), and the others as bare addresses.
TEST(Entry, AStaticExecutableReportsFramesAsOffsetsInTheExecutable) {
    const std::string program = VORN_RUNNER_STATIC_FIXTURE_PATH;
    const ChildResult run = runChild(program, "crash");
    EXPECT_EQ(run.signal, SIGSEGV);
    const std::vector<std::string> lines = splitLines(run.err);
    ASSERT_GT(lines.size(), 2u) << run.err;
    EXPECT_TRUE(matchesPattern(lines[0],
                               "1/2 fixture.test.dereferences a bad pointer...Segmentation fault at "
                               "address 0x10"))
        << run.err;
    std::size_t in_executable = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (matchesPattern(lines[i], program + "(+0x%)[0x%]")) {
            ++in_executable;
        } else {
            EXPECT_TRUE(matchesPattern(lines[i], "[0x%]")) << lines[i];
        }
    }
    EXPECT_GE(in_executable, 3u) << run.err;
}
#endif

}  // namespace
}  // namespace vorn::runner_tests
