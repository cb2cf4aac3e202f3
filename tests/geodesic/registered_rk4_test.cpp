// The registered RK4 test over allocators the runner does not provide: its arena must hand
// everything back to the upstream resource, whether the test passes or runs out of memory.
#include <new>

#include <gtest/gtest.h>

#include "selftest/geodesic/registered_tests.hpp"
#include "test_support.hpp"

namespace {

using vorn::geodesic_test::CountingResource;
using vorn::geodesic_test::FailingResource;
using vorn_geodesic::registered::rk4MatchesExactSolutionOver;

TEST(RegisteredRk4Test, ReleasesEverythingWhenItPasses) {
    CountingResource upstream;
    EXPECT_NO_THROW(rk4MatchesExactSolutionOver(upstream));
    EXPECT_FALSE(upstream.requests.empty());
    EXPECT_EQ(upstream.outstanding, 0u);
}

TEST(RegisteredRk4Test, OutOfMemoryEscapesAsBadAlloc) {
    FailingResource upstream;
    EXPECT_THROW(rk4MatchesExactSolutionOver(upstream), std::bad_alloc);
    EXPECT_GE(upstream.attempts, 1u);
}

}  // namespace
