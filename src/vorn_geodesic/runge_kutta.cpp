// Classical fourth-order Runge–Kutta over GeodesicState, with the free-geodesic right-hand side.
// The integrator is generic: it knows nothing of the sphere and never renormalises.
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

#include "vorn_geodesic.hpp"
#include "vorn_geodesic/free_geodesic_builds.hpp"
#include "vorn_kernel/cpu_features.hpp"

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

namespace detail {

namespace {

using Lanes = double __attribute__((vector_size(32)));

// rk4Step with freeGeodesicRhs written out over two four-lane vectors (position and
// velocity): every lane does its component's operations of addState, scaleState and the
// right-hand side in their order, and the squared speed is summed in component order.
// The right-hand side ignores the time, so the step times are not formed.
[[gnu::always_inline]] inline void freeSteps(GeodesicState* trajectory, std::size_t n_steps, double h) {
    const double half_h = 0.5 * h;
    const double h_sixth = h / 6.0;
    Lanes q, v;
    std::memcpy(&q, trajectory[0].q.data(), sizeof q);
    std::memcpy(&v, trajectory[0].v.data(), sizeof v);
    const auto speedSq = [](const Lanes& products) {
        return ((products[0] + products[1]) + products[2]) + products[3];
    };
    for (std::size_t i = 1; i <= n_steps; ++i) {
        const Lanes k1_q = v;
        const Lanes k1_v = (-speedSq(v * v)) * q;
        const Lanes y2_q = q + half_h * k1_q;
        const Lanes y2_v = v + half_h * k1_v;
        const Lanes k2_q = y2_v;
        const Lanes k2_v = (-speedSq(y2_v * y2_v)) * y2_q;
        const Lanes y3_q = q + half_h * k2_q;
        const Lanes y3_v = v + half_h * k2_v;
        const Lanes k3_q = y3_v;
        const Lanes k3_v = (-speedSq(y3_v * y3_v)) * y3_q;
        const Lanes y4_q = q + h * k3_q;
        const Lanes y4_v = v + h * k3_v;
        const Lanes k4_q = y4_v;
        const Lanes k4_v = (-speedSq(y4_v * y4_v)) * y4_q;
        q = q + h_sixth * ((k1_q + 2.0 * k2_q) + (2.0 * k3_q + k4_q));
        v = v + h_sixth * ((k1_v + 2.0 * k2_v) + (2.0 * k3_v + k4_v));
        std::memcpy(trajectory[i].q.data(), &q, sizeof q);
        std::memcpy(trajectory[i].v.data(), &v, sizeof v);
    }
}

}  // namespace

void freeGeodesicStepsBaseline(GeodesicState* trajectory, std::size_t n_steps, double h) {
    freeSteps(trajectory, n_steps, h);
}

[[gnu::target("avx2")]] void freeGeodesicStepsAvx2(GeodesicState* trajectory, std::size_t n_steps, double h) {
    freeSteps(trajectory, n_steps, h);
}

}  // namespace detail

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
        if (vorn_kernel::detail::cpuHasAvx2()) {
            detail::freeGeodesicStepsAvx2(trajectory, n_steps, h);
        } else {
            detail::freeGeodesicStepsBaseline(trajectory, n_steps, h);
        }
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
