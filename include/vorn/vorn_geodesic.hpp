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

GeodesicState addState(const GeodesicState& a, const GeodesicState& b);
GeodesicState scaleState(const GeodesicState& s, double k);

HomVec4 geodesicExact(HomVec4 p, HomVec4 v, double t);
HomVec4 geodesicScaled(HomVec4 p, HomVec4 v, double t);
double fsDistanceAlongGeodesic(double t);
HomVec4 orthogonalVelocity(HomVec4 p);

// A right-hand side: a plain function of time and state, no context.
using Rhs = GeodesicState (*)(double t, GeodesicState state);

GeodesicState freeGeodesicRhs(double t, GeodesicState state);
GeodesicState rk4Step(Rhs f, double t, GeodesicState y, double h);

// One block of n_steps + 1 states from `allocator`, owned by the caller from then on and
// released with allocator.deallocate(result.data(), result.size_bytes(), alignof(GeodesicState)).
// Out of memory (and the count that does not fit in 32 bits) throws std::bad_alloc;
// nothing is left allocated.
std::span<GeodesicState> rk4Integrate(Rhs f, double t0, double t1, GeodesicState y0, std::uint32_t n_steps,
                                      std::pmr::memory_resource& allocator);

GeodesicState renormalizeOnS3(GeodesicState state);

HomVec4 parallelTransport(HomVec4 p, HomVec4 v, HomVec4 w, double t);
HomVec4 expMap(HomVec4 p, HomVec4 v);
HomVec4 logMap(HomVec4 p, HomVec4 q);

}  // namespace vorn_geodesic
