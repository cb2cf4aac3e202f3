// Geodesics on S³: great circles in closed form, fourth-order Runge–Kutta integration,
// parallel transport and the exponential and logarithm maps.
#pragma once

#include <array>
#include <cstdint>
#include <memory_resource>
#include <span>

#include "vorn_kernel.hpp"

namespace vorn_geodesic {

using vorn_kernel::HomVec4;

struct GeodesicState {
    std::array<double, 4> q;  // position x, y, z, w
    std::array<double, 4> v;  // velocity x, y, z, w

    static constexpr GeodesicState init(const std::array<double, 4>& q, const std::array<double, 4>& v) {
        return GeodesicState{q, v};
    }
    static constexpr GeodesicState fromHomVec4(HomVec4 position, HomVec4 velocity) {
        return GeodesicState{{position.x, position.y, position.z, position.w},
                             {velocity.x, velocity.y, velocity.z, velocity.w}};
    }
    constexpr HomVec4 pos() const { return HomVec4::init(q[0], q[1], q[2], q[3]); }
    constexpr HomVec4 vel() const { return HomVec4::init(v[0], v[1], v[2], v[3]); }
};

// Component-wise a + b and k·s, positions and velocities alike.
GeodesicState addState(const GeodesicState& a, const GeodesicState& b);
GeodesicState scaleState(const GeodesicState& s, double k);

// cos t·p + sin t·v: the unit-speed great circle for unit p and unit v orthogonal to p.
// Nothing is checked or normalised.
HomVec4 geodesicExact(HomVec4 p, HomVec4 v, double t);
// The same circle at angular speed |v|, direction v/|v|; p itself when |v| < 1e-15.
HomVec4 geodesicScaled(HomVec4 p, HomVec4 v, double t);
// The Fubini–Study distance covered after time t at unit speed: |t| folded into [0, π/2].
double fsDistanceAlongGeodesic(double t);
// A unit vector orthogonal to p, from the axis least aligned with p (ties: w, x, y, z).
HomVec4 orthogonalVelocity(HomVec4 p);

// A right-hand side: a plain function of time and state, no context.
using Rhs = GeodesicState (*)(double t, GeodesicState state);

// The free motion on S³: dq/dt = v, dv/dt = −|v|²·q (the time is ignored).
GeodesicState freeGeodesicRhs(double t, GeodesicState state);
// One classical fourth-order Runge–Kutta step of length h from (t, y); nothing renormalised.
GeodesicState rk4Step(Rhs f, double t, GeodesicState y, double h);

// The trajectory y0 and n_steps rk4Steps of length (t1 − t0) / n_steps from t0, in one block of
// n_steps + 1 states from `allocator`, owned by the caller from then on and
// released with allocator.deallocate(result.data(), result.size_bytes(), alignof(GeodesicState)).
// Out of memory (and the count that does not fit in 32 bits) throws std::bad_alloc;
// nothing is left allocated.
std::span<GeodesicState> rk4Integrate(Rhs f, double t0, double t1, GeodesicState y0, std::uint32_t n_steps,
                                      std::pmr::memory_resource& allocator);

// The position divided by its length and the velocity stripped of its radial part (its speed
// is not restored); the state unchanged when the position is shorter than 1e-15.
GeodesicState renormalizeOnS3(GeodesicState state);

// w carried for time t along the unit-speed geodesic from p with velocity v: its part in the
// plane of p and v turns through t, the rest stays. Meant for orthonormal p, v; not checked.
HomVec4 parallelTransport(HomVec4 p, HomVec4 v, HomVec4 w, double t);
// geodesicScaled(p, v, 1): the point at angle |v| from p in the direction of v.
HomVec4 expMap(HomVec4 p, HomVec4 v);
// The tangent at p toward q of length fsDistance(p, q): (d / sin d)·(q − cos d·p), q with its
// own sign and unnormalised; the null vector when d or sin d is below 1e-15.
HomVec4 logMap(HomVec4 p, HomVec4 q);

}  // namespace vorn_geodesic
