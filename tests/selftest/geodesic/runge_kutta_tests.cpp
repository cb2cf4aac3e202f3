// Registered tests of the Runge–Kutta integrator and the renormalisation onto S³.
// The computed value is passed first.
#include <memory_resource>
#include <span>

#include "registered_tests.hpp"
#include "vorn_geodesic.hpp"
#include "vorn_testing.hpp"

namespace vorn_geodesic::registered {

using vorn::testing::expectApproxEqAbs;

void rk4MatchesExactSolutionOver(std::pmr::memory_resource& upstream) {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const GeodesicState y0 = GeodesicState::fromHomVec4(p, v);
    constexpr std::uint32_t n_steps = 100;

    // Torn down on every way out (failed check, out of memory, success): it hands all its
    // blocks back to `upstream` at once.
    std::pmr::monotonic_buffer_resource arena{&upstream};
    const std::span<GeodesicState> trajectory =
        rk4Integrate(freeGeodesicRhs, 0.0, 0.7853981633974483, y0, n_steps, arena);
    const GeodesicState rk4_result = trajectory[n_steps];
    arena.deallocate(trajectory.data(), trajectory.size_bytes(), alignof(GeodesicState));

    const HomVec4 exact_result = geodesicExact(p, v, 0.7853981633974483);
    const HomVec4 rk4_pos = rk4_result.pos();
    expectApproxEqAbs(rk4_pos.x, exact_result.x, 1e-6);
    expectApproxEqAbs(rk4_pos.y, exact_result.y, 1e-6);
    expectApproxEqAbs(rk4_pos.z, exact_result.z, 1e-6);
    expectApproxEqAbs(rk4_pos.w, exact_result.w, 1e-6);
}

void rk4MatchesExactSolution() { rk4MatchesExactSolutionOver(vorn::testing::allocator()); }

void renormalizeOnS3Test() {
    const GeodesicState bad_state = GeodesicState::init({1.01, 0.02, 0.01, 0.01}, {0, 1, 0, 0});
    const GeodesicState fixed = renormalizeOnS3(bad_state);
    const HomVec4 q = fixed.pos();
    expectApproxEqAbs(q.norm(), 1.0, 1e-10);
    const HomVec4 v = fixed.vel();
    expectApproxEqAbs(HomVec4::dot(q, v), 0.0, 1e-10);
}

}  // namespace vorn_geodesic::registered
