// The step of integrateStep and integrateSteps, written once over the lane layer and run on
// one body (its components x, y, z, w in the four lanes of one vector) or on four bodies at a
// time (lane j of every vector holding body j's value of one component).
//
// One classical Runge–Kutta step of a body held on S³ under a force constant over the step:
// q′ = v, v′ = −(v·v)·q + F/m, after which the position is put back on the sphere and the
// velocity loses its radial part. Each lane does its value's operations in the scalar order,
// and dot products are summed in component order ((x + y) + z) + w, so every body gets the
// same bits whichever way it is stepped.
#pragma once

#include <cstddef>
#include <cstring>

#include "vorn_kernel/lanes.hpp"
#include "vorn_physics.hpp"
#include "vorn_physics/is_moved.hpp"

namespace vorn_physics::detail {

using vorn_kernel::detail::F64x4;
using vorn_kernel::detail::loadLanes;
using vorn_kernel::detail::storeLanes;

using vorn_kernel::detail::Vec4;

// One field (position, velocity, ...) of four bodies, component by component.
using Components = Vec4<F64x4>;

// ((a.x·b.x + a.y·b.y) + a.z·b.z) + a.w·b.w of one body's components in the lanes (of four
// bodies' components, vorn_kernel::detail::dot).
[[gnu::always_inline]] inline double dot(const F64x4& a, const F64x4& b) {
    return vorn_kernel::detail::sumInOrder(a * b);
}
using vorn_kernel::detail::dot;

// The position divided by its norm where that is above 1e-15. A position that collapsed to
// (near) zero, or whose norm is NaN, is left as it is rather than divided by it. Dividing by
// the norm is exactly what normalize() does above its own floor.
[[gnu::always_inline]] inline F64x4 ontoSphere(const F64x4& position) {
    const double n = vorn_kernel::detail::squareRoot(dot(position, position));
    return n > 1e-15 ? position / n : position;
}

[[gnu::always_inline]] inline Components ontoSphere(const Components& position) {
    const F64x4 n = vorn_kernel::detail::squareRoot(dot(position, position));
    return vorn_kernel::detail::select(n > 1e-15, position / n, position);
}

// The step itself, over one body's vectors (Vec = F64x4) or four bodies' (Vec = Components).
// Each stage's acceleration is F/m − s·Q for its position Q and squared speed s: (−s)·Q is
// exactly −(s·Q), and adding a negated value is exactly subtracting it. The weighted sums
// ((k1 + 2·k2) + 2·k3) + k4 are built stage by stage in that order (the slope of q at a stage
// is its v), then base + (dt/6)·sum.
template <typename Vec>
[[gnu::always_inline]] inline void stepOnSphere(Vec& q_io, Vec& v_io, const Vec& force_over_m, double dt) {
    const Vec q = q_io;
    const Vec v = v_io;
    const double half_dt = 0.5 * dt;

    Vec k_v = force_over_m - dot(v, v) * q;
    Vec sum_q = v;
    Vec sum_v = k_v;

    Vec q_stage = q + half_dt * v;
    Vec v_stage = v + half_dt * k_v;
    k_v = force_over_m - dot(v_stage, v_stage) * q_stage;
    sum_q = sum_q + 2.0 * v_stage;
    sum_v = sum_v + 2.0 * k_v;

    q_stage = q + half_dt * v_stage;
    v_stage = v + half_dt * k_v;
    k_v = force_over_m - dot(v_stage, v_stage) * q_stage;
    sum_q = sum_q + 2.0 * v_stage;
    sum_v = sum_v + 2.0 * k_v;

    q_stage = q + dt * v_stage;
    v_stage = v + dt * k_v;
    k_v = force_over_m - dot(v_stage, v_stage) * q_stage;
    sum_q = sum_q + v_stage;
    sum_v = sum_v + k_v;

    const double dt_sixth = dt / 6.0;
    const Vec position = ontoSphere(q + dt_sixth * sum_q);
    const Vec velocity = v + dt_sixth * sum_v;
    // Only the radial part of the velocity goes; the speed is not rescaled.
    q_io = position;
    v_io = velocity - dot(velocity, position) * position;
}

[[gnu::always_inline]] inline Components loadField(const VornBody* bodies, HomVec4 VornBody::*field) {
    return vorn_kernel::detail::transpose(
        loadLanes<F64x4>(&(bodies[0].*field)), loadLanes<F64x4>(&(bodies[1].*field)),
        loadLanes<F64x4>(&(bodies[2].*field)), loadLanes<F64x4>(&(bodies[3].*field)));
}

[[gnu::always_inline]] inline void storeField(VornBody* bodies, HomVec4 VornBody::*field,
                                              const Components& c) {
    const Components rows = vorn_kernel::detail::transpose(c.x, c.y, c.z, c.w);
    storeLanes(&(bodies[0].*field), rows.x);
    storeLanes(&(bodies[1].*field), rows.y);
    storeLanes(&(bodies[2].*field), rows.z);
    storeLanes(&(bodies[3].*field), rows.w);
}

[[gnu::always_inline]] inline void stepOneBody(VornBody& body, double dt, HomVec4 external_force) {
    if (!isMoved(body)) return;
    F64x4 q = loadLanes<F64x4>(&body.position);
    F64x4 v = loadLanes<F64x4>(&body.velocity);
    // The caller has just written the argument as separate pieces; reading it back as one
    // wide load would wait for those stores to retire instead of forwarding from them.
    const F64x4 external{external_force.x, external_force.y, external_force.z, external_force.w};
    // Every stage divides the same force by the same mass; the quotients are formed once.
    const F64x4 force_over_m = (external + loadLanes<F64x4>(&body.force_accum)) / body.mass;
    stepOnSphere(q, v, force_over_m, dt);
    storeLanes(&body.position, q);
    storeLanes(&body.velocity, v);
    body.clearForces();
}

// Four bodies, every one of which the step moves, each under its own external force.
[[gnu::always_inline]] inline void stepFourBodies(VornBody* bodies, const HomVec4* external_forces,
                                                  double dt) {
    Components q = loadField(bodies, &VornBody::position);
    Components v = loadField(bodies, &VornBody::velocity);
    const Components accum = loadField(bodies, &VornBody::force_accum);
    const auto external = vorn_kernel::detail::transpose(
        loadLanes<F64x4>(&external_forces[0]), loadLanes<F64x4>(&external_forces[1]),
        loadLanes<F64x4>(&external_forces[2]), loadLanes<F64x4>(&external_forces[3]));
    const F64x4 m{bodies[0].mass, bodies[1].mass, bodies[2].mass, bodies[3].mass};
    const Components force_over_m = (external + accum) / m;
    stepOnSphere(q, v, force_over_m, dt);
    storeField(bodies, &VornBody::position, q);
    storeField(bodies, &VornBody::velocity, v);
    for (std::size_t i = 0; i < 4; ++i) bodies[i].force_accum = HomVec4::zero();
}

// integrateSteps after its checks: four bodies at a time where all four move, one by one
// otherwise and for the ones left over.
[[gnu::always_inline]] inline void stepBodies(VornBody* bodies, const HomVec4* external_forces,
                                              std::size_t count, double dt) {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        VornBody* group = bodies + i;
        if (isMoved(group[0]) && isMoved(group[1]) && isMoved(group[2]) && isMoved(group[3])) {
            stepFourBodies(group, external_forces + i, dt);
        } else {
            for (std::size_t j = 0; j < 4; ++j) stepOneBody(group[j], dt, external_forces[i + j]);
        }
    }
    for (; i < count; ++i) stepOneBody(bodies[i], dt, external_forces[i]);
}

}  // namespace vorn_physics::detail
