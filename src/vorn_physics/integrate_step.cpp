// One classical Runge–Kutta step of a body held on S³ under a force constant over the step:
// q′ = v, v′ = −(v·v)·q + F/m. Every stage is written out component by component so the
// rounding of each sum and product is fixed; the result is then put back on the sphere.
#include "vorn_physics.hpp"

namespace vorn_physics {

namespace {

// base + factor·slope, per component.
inline HomVec4 advance(HomVec4 base, double factor, HomVec4 slope) {
    return HomVec4::init(base.x + factor * slope.x, base.y + factor * slope.y,
                         base.z + factor * slope.z, base.w + factor * slope.w);
}

// The stage acceleration −s·Q + F/m. The force is divided by the mass per component (not
// multiplied by a reciprocal) and is not projected: its radial part is taken out after the step.
inline HomVec4 acceleration(HomVec4 stage_position, double speed_sq, HomVec4 force, double m) {
    const double minus_s = -speed_sq;
    return HomVec4::init(minus_s * stage_position.x + force.x / m,
                         minus_s * stage_position.y + force.y / m,
                         minus_s * stage_position.z + force.z / m,
                         minus_s * stage_position.w + force.w / m);
}

// The RK4 weighting ((k1 + 2·k2) + 2·k3) + k4 of one component, then base + (dt/6)·sum.
inline double combine(double base, double dt_sixth, double k1, double k2, double k3, double k4) {
    return base + dt_sixth * (((k1 + 2.0 * k2) + 2.0 * k3) + k4);
}

}  // namespace

void integrateStep(VornBody& body, double dt, HomVec4 external_force) {
    // Bodies the step must not move keep everything, their accumulated forces included.
    if (!body.active || body.body_type != VornBody::BodyType::dynamic) return;
    const HomVec4 q = body.position;
    const HomVec4 v = body.velocity;
    const double m = body.mass;
    if (m < 1e-10) return;

    const HomVec4 accum = body.force_accum;
    const HomVec4 total_force =
        HomVec4::init(external_force.x + accum.x, external_force.y + accum.y,
                      external_force.z + accum.z, external_force.w + accum.w);
    const double half_dt = 0.5 * dt;

    const double speed_sq = HomVec4::dot(v, v);
    const HomVec4 k1_q = v;
    const HomVec4 k1_v = acceleration(q, speed_sq, total_force, m);

    const HomVec4 q2 = advance(q, half_dt, k1_q);
    const HomVec4 v2 = advance(v, half_dt, k1_v);
    const double speed_sq_2 = HomVec4::dot(v2, v2);
    const HomVec4 k2_q = v2;
    const HomVec4 k2_v = acceleration(q2, speed_sq_2, total_force, m);

    const HomVec4 q3 = advance(q, half_dt, k2_q);
    const HomVec4 v3 = advance(v, half_dt, k2_v);
    const double speed_sq_3 = HomVec4::dot(v3, v3);
    const HomVec4 k3_q = v3;
    const HomVec4 k3_v = acceleration(q3, speed_sq_3, total_force, m);

    const HomVec4 q4 = advance(q, dt, k3_q);
    const HomVec4 v4 = advance(v, dt, k3_v);
    const double speed_sq_4 = HomVec4::dot(v4, v4);
    const HomVec4 k4_q = v4;
    const HomVec4 k4_v = acceleration(q4, speed_sq_4, total_force, m);

    const double dt_sixth = dt / 6.0;
    HomVec4 position = HomVec4::init(combine(q.x, dt_sixth, k1_q.x, k2_q.x, k3_q.x, k4_q.x),
                                     combine(q.y, dt_sixth, k1_q.y, k2_q.y, k3_q.y, k4_q.y),
                                     combine(q.z, dt_sixth, k1_q.z, k2_q.z, k3_q.z, k4_q.z),
                                     combine(q.w, dt_sixth, k1_q.w, k2_q.w, k3_q.w, k4_q.w));
    HomVec4 velocity = HomVec4::init(combine(v.x, dt_sixth, k1_v.x, k2_v.x, k3_v.x, k4_v.x),
                                     combine(v.y, dt_sixth, k1_v.y, k2_v.y, k3_v.y, k4_v.y),
                                     combine(v.z, dt_sixth, k1_v.z, k2_v.z, k3_v.z, k4_v.z),
                                     combine(v.w, dt_sixth, k1_v.w, k2_v.w, k3_v.w, k4_v.w));

    // Back onto the sphere. A position that collapsed to (near) zero is left as it is rather
    // than divided by a vanishing norm. Dividing by n here is exactly what normalize() does
    // for a norm above its own floor, without computing the norm twice.
    const double n = position.norm();
    if (n > 1e-15) {
        position = HomVec4::init(position.x / n, position.y / n, position.z / n, position.w / n);
    }

    // Only the radial part of the velocity goes; the speed is not rescaled.
    const double vradial = HomVec4::dot(velocity, position);
    velocity = HomVec4::init(velocity.x - vradial * position.x, velocity.y - vradial * position.y,
                             velocity.z - vradial * position.z, velocity.w - vradial * position.w);

    body.position = position;
    body.velocity = velocity;
    body.clearForces();
}

}  // namespace vorn_physics
