// The classical fourth-order Runge–Kutta step, written once for rk4Step over any right-hand
// side and for rk4Integrate's free-geodesic steps over the lane layer (position and velocity
// in two four-lane vectors). Each lane does its component's operations of addState,
// scaleState and freeGeodesicRhs in their order, so both give the same bits.
#pragma once

#include <cstddef>

#include "vorn_geodesic.hpp"
#include "vorn_kernel/lanes.hpp"

namespace vorn_geodesic::detail {

using vorn_kernel::detail::F64x4;

inline GeodesicState plus(const GeodesicState& a, const GeodesicState& b) { return addState(a, b); }
inline GeodesicState scaled(const GeodesicState& s, double k) { return scaleState(s, k); }

// A GeodesicState in lanes: q and v, components x, y, z, w in lanes 0..3.
struct LaneState {
    F64x4 q, v;
};

[[gnu::always_inline]] inline LaneState plus(const LaneState& a, const LaneState& b) {
    return {a.q + b.q, a.v + b.v};
}

[[gnu::always_inline]] inline LaneState scaled(const LaneState& s, double k) { return {k * s.q, k * s.v}; }

// dq/dt = v, dv/dt = −|v|²·q, the squared speed summed in component order: the centripetal
// term keeps a unit q on the sphere. The time is not used.
[[gnu::always_inline]] inline LaneState freeRate(double /*t*/, const LaneState& state) {
    return {state.v, (-vorn_kernel::detail::sumInOrder(state.v * state.v)) * state.q};
}

// y + (h/6)·((k1 + 2·k2) + (2·k3 + k4)): both halves are summed before they are added.
template <typename State, typename Rate>
[[gnu::always_inline]] inline State rk4StepOf(const Rate& f, double t, const State& y, double h) {
    const double half_h = 0.5 * h;
    const State k1 = f(t, y);
    const State k2 = f(t + half_h, plus(y, scaled(k1, half_h)));
    const State k3 = f(t + half_h, plus(y, scaled(k2, half_h)));
    const State k4 = f(t + h, plus(y, scaled(k3, h)));
    const State combined = plus(plus(k1, scaled(k2, 2.0)), plus(scaled(k3, 2.0), k4));
    return plus(y, scaled(combined, h / 6.0));
}

// rk4Integrate's steps for freeGeodesicRhs: fills trajectory[1..n_steps] from trajectory[0].
[[gnu::always_inline]] inline void freeGeodesicSteps(GeodesicState* trajectory, std::size_t n_steps,
                                                     double h) {
    using vorn_kernel::detail::load4;
    using vorn_kernel::detail::store4;
    LaneState y{load4(trajectory[0].q.data()), load4(trajectory[0].v.data())};
    for (std::size_t i = 1; i <= n_steps; ++i) {
        y = rk4StepOf(freeRate, 0.0, y, h);
        store4(trajectory[i].q.data(), y.q);
        store4(trajectory[i].v.data(), y.v);
    }
}

}  // namespace vorn_geodesic::detail
