// The step of one body, shared by integrateStep and by the batch step, which uses it for the
// bodies it cannot take four at a time. Include it only in the files that build the step.
//
// One classical Runge–Kutta step of a body held on S³ under a force constant over the step:
// q′ = v, v′ = −(v·v)·q + F/m. Every stage is written out component by component so the
// rounding of each sum and product is fixed; the result is then put back on the sphere.
//
// The four components x, y, z, w sit in the four lanes of one vector, and each lane does its
// component's operations in the scalar order; dot products are summed lane by lane in the
// fixed order ((x + y) + z) + w.
#pragma once

#include <emmintrin.h>

#include <cstring>

#include "vorn_physics.hpp"

namespace vorn_physics::detail {

using Lanes = double __attribute__((vector_size(32)));

// The squared length, or dot product, summed in component order from the lane products.
[[gnu::always_inline]] inline double sumInOrder(const Lanes& products) {
    return ((products[0] + products[1]) + products[2]) + products[3];
}

// The correctly rounded square root, without the call that sets errno for a negative
// argument (whose result, NaN, is the same either way).
[[gnu::always_inline]] inline double squareRoot(double x) {
    return _mm_cvtsd_f64(_mm_sqrt_sd(_mm_setzero_pd(), _mm_set_sd(x)));
}

// Whether the step moves the body: an active dynamic body of mass at least 1e-10 (a NaN mass
// passes). Bodies the step must not move keep everything, their accumulated forces included.
[[gnu::always_inline]] inline bool isMovedByStep(const VornBody& body) {
    return body.active && body.body_type == VornBody::BodyType::dynamic && !(body.mass < 1e-10);
}

[[gnu::always_inline]] inline void stepOneBody(VornBody& body, double dt, HomVec4 external_force) {
    if (!isMovedByStep(body)) return;
    const double m = body.mass;

    Lanes q, v, accum;
    std::memcpy(&q, &body.position, sizeof q);
    std::memcpy(&v, &body.velocity, sizeof v);
    std::memcpy(&accum, &body.force_accum, sizeof accum);
    // The caller has just written the argument as separate pieces; reading it back as one
    // wide load would wait for those stores to retire instead of forwarding from them.
    const Lanes external{external_force.x, external_force.y, external_force.z, external_force.w};
    const Lanes total_force = external + accum;
    // Every stage divides the same force by the same mass, component by component; the
    // quotients are the same in all four, so they are formed once.
    const Lanes force_over_m = total_force / m;
    const double half_dt = 0.5 * dt;

    // Each stage's acceleration is (−s)·Q + F/m, for its position Q and squared speed s,
    // formed as F/m − s·Q: (−s)·Q is exactly −(s·Q), and adding a negated value is exactly
    // subtracting it, so the bits are the same with one negation fewer on the way.
    const double speed_sq = sumInOrder(v * v);
    const Lanes k1_q = v;
    const Lanes k1_v = force_over_m - speed_sq * q;

    const Lanes q2 = q + half_dt * k1_q;
    const Lanes v2 = v + half_dt * k1_v;
    const double speed_sq_2 = sumInOrder(v2 * v2);
    const Lanes k2_q = v2;
    const Lanes k2_v = force_over_m - speed_sq_2 * q2;

    const Lanes q3 = q + half_dt * k2_q;
    const Lanes v3 = v + half_dt * k2_v;
    const double speed_sq_3 = sumInOrder(v3 * v3);
    const Lanes k3_q = v3;
    const Lanes k3_v = force_over_m - speed_sq_3 * q3;

    const Lanes q4 = q + dt * k3_q;
    const Lanes v4 = v + dt * k3_v;
    const double speed_sq_4 = sumInOrder(v4 * v4);
    const Lanes k4_q = v4;
    const Lanes k4_v = force_over_m - speed_sq_4 * q4;

    // The RK4 weighting ((k1 + 2·k2) + 2·k3) + k4, then base + (dt/6)·sum.
    const double dt_sixth = dt / 6.0;
    Lanes position = q + dt_sixth * (((k1_q + 2.0 * k2_q) + 2.0 * k3_q) + k4_q);
    Lanes velocity = v + dt_sixth * (((k1_v + 2.0 * k2_v) + 2.0 * k3_v) + k4_v);

    // Back onto the sphere. A position that collapsed to (near) zero is left as it is rather
    // than divided by a vanishing norm. Dividing by n here is exactly what normalize() does
    // for a norm above its own floor, without computing the norm twice.
    const double n = squareRoot(sumInOrder(position * position));
    if (n > 1e-15) position = position / n;

    // Only the radial part of the velocity goes; the speed is not rescaled.
    const double vradial = sumInOrder(velocity * position);
    velocity = velocity - vradial * position;

    std::memcpy(&body.position, &position, sizeof position);
    std::memcpy(&body.velocity, &velocity, sizeof velocity);
    body.clearForces();
}

}  // namespace vorn_physics::detail
