// Classical fourth-order Runge–Kutta over GeodesicState, with the free-geodesic right-hand side.
// The integrator is generic: it knows nothing of the sphere and never renormalises.
#include <cstddef>
#include <limits>
#include <new>

#include "vorn_geodesic.hpp"

namespace vorn_geodesic {

GeodesicState freeGeodesicRhs(double /*t*/, GeodesicState state) {
    const auto& v = state.v;
    const double speed_sq = ((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]) + v[3] * v[3];
    // dq/dt = v, dv/dt = −|v|²·q: the centripetal term keeps a unit q on the sphere.
    GeodesicState rate{};
    rate.q = state.v;
    for (std::size_t i = 0; i < 4; ++i) rate.v[i] = (-speed_sq) * state.q[i];
    return rate;
}

GeodesicState rk4Step(Rhs f, double t, GeodesicState y, double h) {
    const double half_h = 0.5 * h;
    const GeodesicState k1 = f(t, y);
    const GeodesicState k2 = f(t + half_h, addState(y, scaleState(k1, half_h)));
    const GeodesicState k3 = f(t + half_h, addState(y, scaleState(k2, half_h)));
    const GeodesicState k4 = f(t + h, addState(y, scaleState(k3, h)));
    // (k1 + 2·k2) + (2·k3 + k4): both halves are summed before they are added.
    const GeodesicState combined =
        addState(addState(k1, scaleState(k2, 2.0)), addState(scaleState(k3, 2.0), k4));
    return addState(y, scaleState(combined, h / 6.0));
}

std::span<GeodesicState> rk4Integrate(Rhs f, double t0, double t1, GeodesicState y0, std::uint32_t n_steps,
                                      std::pmr::memory_resource& allocator) {
    // The number of states must itself fit in 32 bits.
    if (n_steps == std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc{};
    const std::size_t count = static_cast<std::size_t>(n_steps) + 1;
    const std::size_t bytes = count * sizeof(GeodesicState);
    auto* trajectory = static_cast<GeodesicState*>(allocator.allocate(bytes, alignof(GeodesicState)));

    // With n_steps = 0, h is infinite or NaN but never used.
    const double h = (t1 - t0) / static_cast<double>(n_steps);
    try {
        ::new (static_cast<void*>(trajectory)) GeodesicState(y0);
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
