// Terminal mode with standard error on a terminal (a pseudo-terminal made by script(1)).
#include <gtest/gtest.h>

#include <string>

#include "child_process.hpp"

namespace vorn::runner_tests {
namespace {

// The terminal turns "\n" into "\r\n"; undo that to compare lines.
std::string withoutCarriageReturnsBeforeLineEnds(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

TEST(TerminalDisplay, OnlySkippedAndFailedTestsGetALineOfTheirOwn) {
    const auto run = runChildOnTerminal(fixturePath(), "mixed");
    if (!run) GTEST_SKIP() << "script(1) is not installed";
    const std::string shown = withoutCarriageReturnsBeforeLineEnds(run->out);
    EXPECT_EQ(shown.find("OK"), std::string::npos) << shown;
    EXPECT_NE(shown.find("actual 6e-1, not within absolute tolerance 1e-10 of expected 1e0\n"
                         "2/5 fixture.test.approx fails...FAIL (TestExpectedApproxEqAbs)\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("3/5 fixture.test.expectTrue fails...FAIL (TestUnexpectedResult)\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("4/5 fixture.test.skips...SKIP\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("2 passed; 1 skipped; 2 failed.\n"), std::string::npos) << shown;
    EXPECT_EQ(run->exit_status, 1);
}

TEST(TerminalDisplay, ProgressIsDrawnForSlowTestsAndErasedBeforeOtherText) {
    const auto run = runChildOnTerminal(fixturePath(), "slow");
    if (!run) GTEST_SKIP() << "script(1) is not installed";
    const std::string& shown = run->out;
    // Each test runs until the display has drawn: the root label and the running test.
    EXPECT_NE(shown.find("Test [0/2]"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\xe2\x94\x94\xe2\x94\x80 fixture.test.slowly passes"), std::string::npos) << shown;
    // The check's message and the FAIL line come right after an erase, never inside a drawing.
    EXPECT_NE(shown.find("\r\x1b[Jactual 3e0, not within absolute tolerance 5e-1 of expected 2e0"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("2/2 fixture.test.slowly fails...FAIL (TestExpectedApproxEqAbs)"), std::string::npos)
        << shown;
    // The summary is written after the display was erased for good.
    const std::size_t summary = shown.find("1 passed; 0 skipped; 1 failed.");
    ASSERT_NE(summary, std::string::npos) << shown;
    EXPECT_EQ(shown.find("Test [", summary), std::string::npos) << shown;
    EXPECT_EQ(run->exit_status, 1);
}

}  // namespace
}  // namespace vorn::runner_tests
