// The check primitives: the approximate-equality rule, the failure message and the error names.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

#include "approx_abs.hpp"
#include "runner_internal.hpp"
#include "stderr_capture.hpp"
#include "vorn_testing.hpp"

namespace vorn::runner_tests {
namespace {

using vorn::runner::detail::withinAbsoluteTolerance;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(ApproxAbs, EqualValuesPassWithZeroTolerance) {
    EXPECT_TRUE(withinAbsoluteTolerance(1.0, 1.0, 0.0));
    EXPECT_TRUE(withinAbsoluteTolerance(0.0, -0.0, 0.0));
    EXPECT_TRUE(withinAbsoluteTolerance(inf, inf, 0.0));
    EXPECT_TRUE(withinAbsoluteTolerance(-inf, -inf, 0.0));
}

TEST(ApproxAbs, BoundIsInclusive) {
    EXPECT_TRUE(withinAbsoluteTolerance(1.0, 1.5, 0.5));
    EXPECT_TRUE(withinAbsoluteTolerance(1.5, 1.0, 0.5));
    EXPECT_FALSE(withinAbsoluteTolerance(1.0, std::nextafter(1.5, 2.0), 0.5));
}

TEST(ApproxAbs, NaNNeverPasses) {
    EXPECT_FALSE(withinAbsoluteTolerance(nan, nan, 1.0));
    EXPECT_FALSE(withinAbsoluteTolerance(nan, 1.0, inf));
    EXPECT_FALSE(withinAbsoluteTolerance(1.0, nan, inf));
}

TEST(ApproxAbs, OppositeInfinitiesFailEvenWithInfiniteTolerance) {
    EXPECT_FALSE(withinAbsoluteTolerance(inf, -inf, 1e300));
    EXPECT_FALSE(withinAbsoluteTolerance(inf, 1.0, 1e300));
    EXPECT_TRUE(withinAbsoluteTolerance(inf, 1.0, inf));
}

TEST(ApproxAbs, FloatDifferenceIsFormedInSinglePrecision) {
    // 1 + 2^-24 is not a float: in single precision the two values below are 1 ulp (2^-23)
    // apart, a gap the tolerance 2^-24 does not cover.
    const float one = 1.0f;
    const float next = std::nextafter(1.0f, 2.0f);
    EXPECT_FALSE(withinAbsoluteTolerance(one, next, 0x1p-24f));
    EXPECT_TRUE(withinAbsoluteTolerance(one, next, 0x1p-23f));
    EXPECT_FALSE(withinAbsoluteTolerance(std::numeric_limits<float>::quiet_NaN(), 1.0f, 1.0f));
}

// Runs `check`, which must end the test, and returns the error name it ended with.
template <typename Check>
std::string_view errorNameOf(Check check) {
    try {
        check();
    } catch (const vorn::testing::TestError& error) {
        return error.name;
    }
    ADD_FAILURE() << "the check did not fail";
    return {};
}

TEST(CheckPrimitives, ApproxFailureWritesItsMessageAndEndsTheTest) {
    StderrCapture capture;
    EXPECT_EQ(errorNameOf([] { vorn::testing::expectApproxEqAbs(1.0, 0.6, 1e-10); }),
              "TestExpectedApproxEqAbs");
    EXPECT_EQ(capture.text(), "actual 6e-1, not within absolute tolerance 1e-10 of expected 1e0\n");
}

TEST(CheckPrimitives, ApproxFailureWritesNaNAndInfinities) {
    StderrCapture capture;
    EXPECT_EQ(errorNameOf([] { vorn::testing::expectApproxEqAbs(nan, nan, 1.0); }),
              "TestExpectedApproxEqAbs");
    EXPECT_EQ(errorNameOf([] { vorn::testing::expectApproxEqAbs(-inf, 5e-324, 0.5); }),
              "TestExpectedApproxEqAbs");
    EXPECT_EQ(capture.text(),
              "actual nan, not within absolute tolerance 1e0 of expected nan\n"
              "actual 5e-324, not within absolute tolerance 5e-1 of expected -inf\n");
}

TEST(CheckPrimitives, PassingChecksWriteNothing) {
    StderrCapture capture;
    vorn::testing::expectApproxEqAbs(1.0, 1.0, 0.0);
    vorn::testing::expectApproxEqAbs(1.0, 1.5, 0.5);
    vorn::testing::expectApproxEqAbs(inf, inf, 0.0);
    vorn::testing::expectApproxEqAbs(0.5f, 0.25f, 0.25f);
    vorn::testing::expectTrue(true);
    EXPECT_EQ(capture.text(), "");
}

TEST(CheckPrimitives, ExpectTrueFailsSilently) {
    StderrCapture capture;
    EXPECT_EQ(errorNameOf([] { vorn::testing::expectTrue(false); }), "TestUnexpectedResult");
    EXPECT_EQ(capture.text(), "");
}

void failsWithItsOwnName() { vorn::testing::fail("SomethingElse"); }
void skips() { vorn::testing::skip(); }
void passes() {}

TEST(CallTest, MapsHowATestEndedToItsOutcome) {
    using vorn::runner::detail::callTest;
    using vorn::runner::detail::TestStatus;
    const auto passed = callTest({"passes", passes});
    EXPECT_EQ(passed.status, TestStatus::passed);
    const auto skipped = callTest({"skips", skips});
    EXPECT_EQ(skipped.status, TestStatus::skipped);
    const auto failed = callTest({"fails", failsWithItsOwnName});
    EXPECT_EQ(failed.status, TestStatus::failed);
    EXPECT_EQ(failed.error_name, "SomethingElse");
    const auto empty_entry = callTest({"empty entry", nullptr});
    EXPECT_EQ(empty_entry.status, TestStatus::failed);
    EXPECT_EQ(empty_entry.error_name, "MissingTestFunction");
}

TEST(CallTest, ErrorTraceNamesTheFailingCheckAndIsEmptiedByTheNextTest) {
    using vorn::runner::detail::callTest;
    using vorn::runner::detail::printErrorTrace;
    {
        StderrCapture capture;
        callTest({"fails", failsWithItsOwnName});
        printErrorTrace();
        EXPECT_NE(capture.text().find("check_primitives_test.cpp:"), std::string::npos) << capture.text();
        EXPECT_NE(capture.text().find("failsWithItsOwnName"), std::string::npos) << capture.text();
    }
    StderrCapture capture;
    callTest({"passes", passes});
    printErrorTrace();
    EXPECT_EQ(capture.text(), "");
}

}  // namespace
}  // namespace vorn::runner_tests
