// Terminal mode as a user sees it with standard error redirected to a file: the exact report,
// the traces after FAIL lines, the leak and log lines, and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "child_process.hpp"
#include "text_pattern.hpp"

namespace vorn::runner_tests {
namespace {

bool isTraceLine(const std::string& line) {
    return line.rfind("    #", 0) == 0 || matchesPattern(line, "*fixture_tables.cpp:#:#: check failed in *");
}

// The report with the stack-trace lines taken out: everything that must match byte for byte.
std::string withoutTraceLines(const std::string& text) {
    std::string kept;
    for (const std::string& line : splitLines(text)) {
        if (!isTraceLine(line)) kept += line + '\n';
    }
    return kept;
}

// The lines after `marker` up to the next line that is not part of a trace.
std::vector<std::string> traceAfter(const std::string& text, const std::string& marker) {
    const std::vector<std::string> lines = splitLines(text);
    std::vector<std::string> trace;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != marker) continue;
        for (std::size_t j = i + 1; j < lines.size() && isTraceLine(lines[j]); ++j) trace.push_back(lines[j]);
        break;
    }
    return trace;
}

bool anyContains(const std::vector<std::string>& lines, const std::string& needle) {
    return std::ranges::any_of(
        lines, [&needle](const std::string& line) { return line.find(needle) != std::string::npos; });
}

TEST(TerminalMode, PassingRunPrintsOneOkLinePerTestAndExitsZero) {
    const ChildResult run = runChild(fixturePath(), "pass");
    EXPECT_EQ(run.err, "1/1 fixture.test.passes...OK\nAll 1 tests passed.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.exit_status, 0);
}

TEST(TerminalMode, EmptyTableCountsAsAllPassed) {
    const ChildResult run = runChild(fixturePath(), "empty");
    EXPECT_EQ(run.err, "All 0 tests passed.\n");
    EXPECT_EQ(run.exit_status, 0);
}

TEST(TerminalMode, FailuresAreReportedAndTheRunGoesOn) {
    const ChildResult run = runChild(fixturePath(), "mixed");
    EXPECT_EQ(
        withoutTraceLines(run.err),
        "1/5 fixture.test.passes...OK\n"
        "2/5 fixture.test.approx fails...actual 6e-1, not within absolute tolerance 1e-10 of expected 1e0\n"
        "FAIL (TestExpectedApproxEqAbs)\n"
        "3/5 fixture.test.expectTrue fails...FAIL (TestUnexpectedResult)\n"
        "4/5 fixture.test.skips...SKIP\n"
        "5/5 fixture.test.passes again...OK\n"
        "2 passed; 1 skipped; 2 failed.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(TerminalMode, FailLineIsFollowedByTheTraceOfTheFailingCheck) {
    const ChildResult run = runChild(fixturePath(), "mixed");

    const std::vector<std::string> approx = traceAfter(run.err, "FAIL (TestExpectedApproxEqAbs)");
    ASSERT_FALSE(approx.empty()) << run.err;
    EXPECT_TRUE(matchesPattern(approx[0], "*fixture_tables.cpp:#:#: check failed in *failsApprox*"))
        << approx[0];
    EXPECT_TRUE(anyContains(approx, "failsApprox")) << run.err;
    EXPECT_LE(approx.size(), 1u + 32u * 4u);

    const std::vector<std::string> expect_true =
        traceAfter(run.err, "3/5 fixture.test.expectTrue fails...FAIL (TestUnexpectedResult)");
    ASSERT_FALSE(expect_true.empty()) << run.err;
    EXPECT_NE(expect_true[0].find("failsExpectTrue"), std::string::npos) << expect_true[0];
    // The trace is of the test's own calls, not of the runner that called it.
    EXPECT_FALSE(anyContains(expect_true, "runTerminalMode")) << run.err;
    EXPECT_FALSE(anyContains(expect_true, "callTest")) << run.err;
    EXPECT_FALSE(anyContains(expect_true, "callThroughMarker")) << run.err;
}

TEST(TerminalMode, SkipsAloneKeepExitStatusZero) {
    const ChildResult run = runChild(fixturePath(), "skip");
    EXPECT_EQ(run.err,
              "1/2 fixture.test.passes...OK\n"
              "2/2 fixture.test.skips...SKIP\n"
              "1 passed; 1 skipped; 0 failed.\n");
    EXPECT_EQ(run.exit_status, 0);
}

TEST(TerminalMode, LeakIsLoggedAfterTheOkAndMakesTheStatusOne) {
    const ChildResult run = runChild(fixturePath(), "leak");
    const std::vector<std::string> lines = splitLines(run.err);
    ASSERT_GE(lines.size(), 6u) << run.err;
    EXPECT_EQ(lines[0], "1/2 fixture.test.leaks...OK");
    EXPECT_TRUE(matchesPattern(lines[1], "[gpa] (err): memory address 0x% leaked: ")) << lines[1];
    // Exactly one block leaked (the freed one is not reported), traced to where it was made.
    EXPECT_EQ(run.err.find(" leaked: ", run.err.find(" leaked: ") + 1), std::string::npos) << run.err;
    const std::vector<std::string> trace(lines.begin() + 2, lines.end() - 4);
    EXPECT_TRUE(anyContains(trace, "leaks")) << run.err;
    EXPECT_LE(trace.size(), 10u * 4u);
    EXPECT_EQ(lines[lines.size() - 4], "2/2 fixture.test.passes...OK");
    EXPECT_EQ(lines[lines.size() - 3], "All 2 tests passed.");
    EXPECT_EQ(lines[lines.size() - 2], "1 errors were logged.");
    EXPECT_EQ(lines[lines.size() - 1], "1 tests leaked memory.");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(TerminalMode, ErrorLogMakesTheStatusOneEvenWhenAllPassed) {
    const ChildResult run = runChild(fixturePath(), "log");
    EXPECT_EQ(run.err,
              "1/1 fixture.test.logs an error...[fixture] (err): something went wrong\n"
              "OK\n"
              "All 1 tests passed.\n"
              "1 errors were logged.\n");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(TerminalMode, InfoAndDebugMessagesAreDroppedAtTheWarningLevel) {
    const ChildResult run = runChild(fixturePath(), "levels");
    EXPECT_EQ(run.err,
              "1/1 fixture.test.logs every level...[fixture] (err): an error\n"
              "[fixture] (warn): a warning\n"
              "OK\n"
              "All 1 tests passed.\n"
              "1 errors were logged.\n");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(TerminalMode, EscapingExceptionsFailTheirTestOnly) {
    const ChildResult run = runChild(fixturePath(), "exception");
    EXPECT_EQ(run.err,
              "1/5 fixture.test.out of memory...FAIL (OutOfMemory)\n"
              "2/5 fixture.test.runtime error...FAIL (UnexpectedException)\n"
              "unexpected exception std::runtime_error: boom\n"
              "3/5 fixture.test.throws an int...FAIL (UnexpectedException)\n"
              "unexpected exception int\n"
              "4/5 fixture.test.allocates too much...FAIL (OutOfMemory)\n"
              "5/5 fixture.test.passes...OK\n"
              "1 passed; 0 skipped; 4 failed.\n");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(TerminalMode, FloatCheckWritesSinglePrecision) {
    const ChildResult run = runChild(fixturePath(), "float");
    EXPECT_EQ(withoutTraceLines(run.err),
              "1/1 fixture.test.float approx fails...actual 2e-1, not within absolute tolerance 1e-2 of "
              "expected 1e-1\n"
              "FAIL (TestExpectedApproxEqAbs)\n"
              "0 passed; 0 skipped; 1 failed.\n");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(TerminalMode, FreeWithTheWrongSizeIsLoggedNotFatal) {
    const ChildResult run = runChild(fixturePath(), "misuse");
    const std::vector<std::string> lines = splitLines(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(
        matchesPattern(lines[0],
                       "1/1 fixture.test.frees with the wrong size...[gpa] (err): memory address 0x% "
                       "allocated with size 32 and alignment 8, freed with size 16 and alignment 8: "))
        << lines[0];
    ASSERT_GE(lines.size(), 4u);
    // The block itself was released with its true size: nothing leaked.
    EXPECT_EQ(lines[lines.size() - 3], "OK");
    EXPECT_EQ(lines[lines.size() - 2], "All 1 tests passed.");
    EXPECT_EQ(lines[lines.size() - 1], "1 errors were logged.");
    EXPECT_EQ(run.exit_status, 1);
}

}  // namespace
}  // namespace vorn::runner_tests
