// The self-checking executable over the registered tests, with standard error to a file.
#include <gtest/gtest.h>

#include <string>

#include "child_process.hpp"
#include "text_pattern.hpp"

namespace vorn::runner_tests {
namespace {

TEST(Selftest, EveryRegisteredTestPassesWithOneOkLineEach) {
    const ChildResult run = runChild(VORN_SELFTEST_PATH, "");
    const std::vector<std::string> lines = splitLines(run.err);
    ASSERT_FALSE(lines.empty());
    const std::size_t total = lines.size() - 1;
    for (std::size_t i = 0; i < total; ++i) {
        const std::string prefix = std::to_string(i + 1) + "/" + std::to_string(total) + " ";
        EXPECT_EQ(lines[i].rfind(prefix, 0), 0u) << lines[i];
        EXPECT_TRUE(matchesPattern(lines[i], "#/# vorn_physics.test.*...OK") ||
                    matchesPattern(lines[i], "#/# vorn_kernel.test.*...OK") ||
                    matchesPattern(lines[i], "#/# vorn_geodesic.test.*...OK"))
            << lines[i];
    }
    EXPECT_EQ(lines.back(), "All " + std::to_string(total) + " tests passed.");
    EXPECT_EQ(run.err.back(), '\n');
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.exit_status, 0);
}

}  // namespace
}  // namespace vorn::runner_tests
