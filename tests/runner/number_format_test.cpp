// Numbers in check messages: shortest round-trip scientific form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "number_format.hpp"

namespace vorn::runner::detail {
namespace {

std::string text(double value) { return std::string(formatShortest(value).view()); }
std::string text(float value) { return std::string(formatShortest(value).view()); }

TEST(NumberFormat, ShortestScientificForm) {
    EXPECT_EQ(text(1.0), "1e0");
    EXPECT_EQ(text(0.6), "6e-1");
    EXPECT_EQ(text(1e-10), "1e-10");
    EXPECT_EQ(text(-2.5e-3), "-2.5e-3");
    EXPECT_EQ(text(123456.0), "1.23456e5");
    EXPECT_EQ(text(1e100), "1e100");
    EXPECT_EQ(text(0.1 + 0.2), "3.0000000000000004e-1");
}

TEST(NumberFormat, ExtremesAndZeros) {
    EXPECT_EQ(text(std::numeric_limits<double>::denorm_min()), "5e-324");
    EXPECT_EQ(text(std::numeric_limits<double>::max()), "1.7976931348623157e308");
    EXPECT_EQ(text(-std::numeric_limits<double>::min()), "-2.2250738585072014e-308");
    EXPECT_EQ(text(0.0), "0e0");
    EXPECT_EQ(text(-0.0), "-0e0");
}

TEST(NumberFormat, InfinitiesAndNaN) {
    EXPECT_EQ(text(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(text(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(text(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(text(-std::numeric_limits<double>::quiet_NaN()), "-nan");
    EXPECT_EQ(text(std::numeric_limits<float>::infinity()), "inf");
    EXPECT_EQ(text(std::numeric_limits<float>::quiet_NaN()), "nan");
}

TEST(NumberFormat, SinglePrecisionIsShortestForFloat) {
    EXPECT_EQ(text(0.1f), "1e-1");
    EXPECT_EQ(text(static_cast<double>(0.1f)), "1.0000000149011612e-1");
    EXPECT_EQ(text(1.0f), "1e0");
    EXPECT_EQ(text(std::numeric_limits<float>::denorm_min()), "1e-45");
    EXPECT_EQ(text(-std::numeric_limits<float>::max()), "-3.4028235e38");
}

TEST(NumberFormat, EveryFormReadsBackToTheSameValue) {
    for (const double value :
         {0.6, 1e-10, -2.5e-3, 1.0 / 3.0, 6.02214076e23, 5e-324, 2.2250738585072014e-308}) {
        EXPECT_EQ(std::strtod(text(value).c_str(), nullptr), value) << text(value);
    }
}

}  // namespace
}  // namespace vorn::runner::detail
