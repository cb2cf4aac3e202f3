// Classical fourth-order Runge–Kutta over GeodesicState, with the free-geodesic right-hand side.
// The integrator is generic: it knows nothing of the sphere and never renormalises.
#include <cstddef>
#include <limits>
#include <new>

#include "vorn_geodesic.hpp"
#include "vorn_geodesic/rk4_step.hpp"

namespace vorn_geodesic {

GeodesicState freeGeodesicRhs(double t, GeodesicState state) {
    using vorn_kernel::detail::load4;
    using vorn_kernel::detail::store4;
    const detail::LaneState rate = detail::freeRate(t, {load4(state.q.data()), load4(state.v.data())});
    GeodesicState result;
    store4(result.q.data(), rate.q);
    store4(result.v.data(), rate.v);
    return result;
}

GeodesicState rk4Step(Rhs f, double t, GeodesicState y, double h) { return detail::rk4StepOf(f, t, y, h); }

std::span<GeodesicState> rk4Integrate(Rhs f, double t0, double t1, GeodesicState y0, std::uint32_t n_steps,
                                      std::pmr::memory_resource& allocator) {
    // The number of states must itself fit in 32 bits.
    if (n_steps == std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc{};
    const std::size_t count = static_cast<std::size_t>(n_steps) + 1;
    const std::size_t bytes = count * sizeof(GeodesicState);
    auto* trajectory = static_cast<GeodesicState*>(allocator.allocate(bytes, alignof(GeodesicState)));

    // With n_steps = 0, h is infinite or NaN but never used.
    const double h = (t1 - t0) / static_cast<double>(n_steps);
    ::new (static_cast<void*>(trajectory)) GeodesicState(y0);
    if (f == &freeGeodesicRhs) {
        // The same steps, without a call per stage; it cannot throw.
        for (std::size_t i = 1; i < count; ++i) ::new (static_cast<void*>(trajectory + i)) GeodesicState;
        vorn_kernel::detail::runLanes<&detail::freeGeodesicSteps>(vorn_kernel::detail::fastestLaneBuild(),
                                                                  trajectory, std::size_t{n_steps}, h);
        return {trajectory, count};
    }
    try {
        double t = t0;
        for (std::size_t i = 1; i < count; ++i) {
            ::new (static_cast<void*>(trajectory + i)) GeodesicState(rk4Step(f, t, trajectory[i - 1], h));
            // Repeated addition, not t0 + i·h: the step times are part of the result.
            t = t + h;
        }
    } catch (...) {
        // A right-hand side that throws must not leave the block behind.
        allocator.deallocate(trajectory, bytes, alignof(GeodesicState));
        throw;
    }
    return {trajectory, count};
}

}  // namespace vorn_geodesic
