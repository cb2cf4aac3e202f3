// integrateSteps: integrateStep over a batch, four bodies at a time.
//
// One body's step is a long chain of dependent operations (four stages, each waiting for the
// squared speed of the one before, then a square root and two divisions), so a loop of
// integrateStep calls is bound by how many bodies the CPU can keep in flight. Here four
// bodies travel together instead: lane j of every vector holds body j's value of one
// component, and each lane does exactly the operations of stepOneBody, in its order, on its
// own body. Nothing is summed across lanes, so every body gets the bits integrateStep gives,
// except the sign and payload of a NaN, which IEEE 754 leaves to the instruction.
#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>

#include "vorn_kernel/cpu_features.hpp"
#include "vorn_physics.hpp"
#include "vorn_physics/integrate_step_builds.hpp"
#include "vorn_physics/step_one_body.hpp"

namespace vorn_physics {

namespace detail {
namespace {

// The helpers below take and give vectors by value. They are always inlined into the two
// builds and never called across a function boundary, so no vector ever passes through the
// calling convention that the compilers warn about (the one that differs with and without
// AVX).
#pragma GCC diagnostic ignored "-Wpsabi"

using Mask = decltype(Lanes{} > 0.0);
using Half = double __attribute__((vector_size(16)));

// One field (position, velocity, ...) of four bodies, component by component: lane j of x
// holds body j's x.
struct Components {
    Lanes x, y, z, w;
};

// The transpose of the 4×4 block whose rows are the four vectors: the same exchange turns
// four stored vectors into their components and components back into vectors.
[[gnu::always_inline]] inline Components transpose(const Lanes& r0, const Lanes& r1, const Lanes& r2,
                                                   const Lanes& r3) {
    const Lanes x0x1z0z1 = __builtin_shufflevector(r0, r1, 0, 4, 2, 6);
    const Lanes y0y1w0w1 = __builtin_shufflevector(r0, r1, 1, 5, 3, 7);
    const Lanes x2x3z2z3 = __builtin_shufflevector(r2, r3, 0, 4, 2, 6);
    const Lanes y2y3w2w3 = __builtin_shufflevector(r2, r3, 1, 5, 3, 7);
    return {__builtin_shufflevector(x0x1z0z1, x2x3z2z3, 0, 1, 4, 5),
            __builtin_shufflevector(y0y1w0w1, y2y3w2w3, 0, 1, 4, 5),
            __builtin_shufflevector(x0x1z0z1, x2x3z2z3, 2, 3, 6, 7),
            __builtin_shufflevector(y0y1w0w1, y2y3w2w3, 2, 3, 6, 7)};
}

[[gnu::always_inline]] inline Lanes load(const HomVec4& v) {
    Lanes lanes;
    std::memcpy(&lanes, &v, sizeof lanes);
    return lanes;
}

[[gnu::always_inline]] inline Components loadField(VornBody* bodies, HomVec4 VornBody::*field) {
    return transpose(load(bodies[0].*field), load(bodies[1].*field), load(bodies[2].*field),
                     load(bodies[3].*field));
}

[[gnu::always_inline]] inline void storeField(VornBody* bodies, HomVec4 VornBody::*field,
                                              const Components& c) {
    const Components rows = transpose(c.x, c.y, c.z, c.w);
    std::memcpy(&(bodies[0].*field), &rows.x, sizeof rows.x);
    std::memcpy(&(bodies[1].*field), &rows.y, sizeof rows.y);
    std::memcpy(&(bodies[2].*field), &rows.z, sizeof rows.z);
    std::memcpy(&(bodies[3].*field), &rows.w, sizeof rows.w);
}

// ((a.x·b.x + a.y·b.y) + a.z·b.z) + a.w·b.w for each body: the order of sumInOrder.
[[gnu::always_inline]] inline Lanes dot(const Components& a, const Components& b) {
    return ((a.x * b.x + a.y * b.y) + a.z * b.z) + a.w * b.w;
}

// base + h·k, component by component, with one step length for all four bodies.
[[gnu::always_inline]] inline Components advance(const Components& base, double h, const Components& k) {
    return {base.x + h * k.x, base.y + h * k.y, base.z + h * k.z, base.w + h * k.w};
}

// a − s·b, component by component, with each body's own s: a stage's acceleration
// F/m − (v·v)·q, and the velocity less its radial part at the end.
[[gnu::always_inline]] inline Components minusScaled(const Components& a, const Lanes& s,
                                                     const Components& b) {
    return {a.x - s * b.x, a.y - s * b.y, a.z - s * b.z, a.w - s * b.w};
}

// The correctly rounded square root of each lane.
[[gnu::always_inline]] inline Lanes squareRoots(const Lanes& x) {
    const auto low = std::bit_cast<Half>(_mm_sqrt_pd(std::bit_cast<__m128d>(Half{x[0], x[1]})));
    const auto high = std::bit_cast<Half>(_mm_sqrt_pd(std::bit_cast<__m128d>(Half{x[2], x[3]})));
    return __builtin_shufflevector(low, high, 0, 1, 2, 3);
}

// In each lane, `where_set` ? `if_set` : `otherwise`.
[[gnu::always_inline]] inline Lanes choose(const Mask& where_set, const Lanes& if_set,
                                           const Lanes& otherwise) {
    return std::bit_cast<Lanes>((std::bit_cast<Mask>(if_set) & where_set) |
                                (std::bit_cast<Mask>(otherwise) & ~where_set));
}

// a + 2·b and a + b, component by component: the terms of the RK4 weighting.
[[gnu::always_inline]] inline Components plusTwice(const Components& a, const Components& b) {
    return {a.x + 2.0 * b.x, a.y + 2.0 * b.y, a.z + 2.0 * b.z, a.w + 2.0 * b.w};
}

[[gnu::always_inline]] inline Components plus(const Components& a, const Components& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}

// Four bodies, every one of which integrateStep moves, each under its own external force.
[[gnu::always_inline]] inline void stepFourBodies(VornBody* bodies, const HomVec4* external_forces,
                                                  double dt) {
    const Components q = loadField(bodies, &VornBody::position);
    const Components v = loadField(bodies, &VornBody::velocity);
    const Components accum = loadField(bodies, &VornBody::force_accum);
    const Components external = transpose(load(external_forces[0]), load(external_forces[1]),
                                          load(external_forces[2]), load(external_forces[3]));
    const Lanes m{bodies[0].mass, bodies[1].mass, bodies[2].mass, bodies[3].mass};
    const Components force_over_m{(external.x + accum.x) / m, (external.y + accum.y) / m,
                                  (external.z + accum.z) / m, (external.w + accum.w) / m};
    const double half_dt = 0.5 * dt;

    // The weighted sums ((k1 + 2·k2) + 2·k3) + k4 are built up stage by stage, in that order,
    // so that no stage's slopes stay alive to the end (the slope of q at a stage is its v).
    Components k_v = minusScaled(force_over_m, dot(v, v), q);
    Components sum_q = v;
    Components sum_v = k_v;

    Components q_stage = advance(q, half_dt, v);
    Components v_stage = advance(v, half_dt, k_v);
    k_v = minusScaled(force_over_m, dot(v_stage, v_stage), q_stage);
    sum_q = plusTwice(sum_q, v_stage);
    sum_v = plusTwice(sum_v, k_v);

    q_stage = advance(q, half_dt, v_stage);
    v_stage = advance(v, half_dt, k_v);
    k_v = minusScaled(force_over_m, dot(v_stage, v_stage), q_stage);
    sum_q = plusTwice(sum_q, v_stage);
    sum_v = plusTwice(sum_v, k_v);

    q_stage = advance(q, dt, v_stage);
    v_stage = advance(v, dt, k_v);
    k_v = minusScaled(force_over_m, dot(v_stage, v_stage), q_stage);
    sum_q = plus(sum_q, v_stage);
    sum_v = plus(sum_v, k_v);

    const double dt_sixth = dt / 6.0;
    Components position = advance(q, dt_sixth, sum_q);
    Components velocity = advance(v, dt_sixth, sum_v);

    // A body whose norm is not above 1e-15 (or is NaN) keeps its position undivided; the
    // quotients computed for it are dropped.
    const Lanes n = squareRoots(dot(position, position));
    const Mask divide = n > 1e-15;
    position = {choose(divide, position.x / n, position.x), choose(divide, position.y / n, position.y),
                choose(divide, position.z / n, position.z), choose(divide, position.w / n, position.w)};

    const Lanes vradial = dot(velocity, position);
    velocity = minusScaled(velocity, vradial, position);

    storeField(bodies, &VornBody::position, position);
    storeField(bodies, &VornBody::velocity, velocity);
    for (int i = 0; i < 4; ++i) bodies[i].force_accum = HomVec4::zero();
}

[[gnu::always_inline]] inline void stepBatch(VornBody* bodies, const HomVec4* external_forces,
                                             std::size_t count, double dt) {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        VornBody* group = bodies + i;
        if (isMovedByStep(group[0]) && isMovedByStep(group[1]) && isMovedByStep(group[2]) &&
            isMovedByStep(group[3])) {
            stepFourBodies(group, external_forces + i, dt);
        } else {
            for (std::size_t j = 0; j < 4; ++j) stepOneBody(group[j], dt, external_forces[i + j]);
        }
    }
    for (; i < count; ++i) stepOneBody(bodies[i], dt, external_forces[i]);
}

}  // namespace

void integrateStepsBaseline(VornBody* bodies, const HomVec4* external_forces, std::size_t count, double dt) {
    stepBatch(bodies, external_forces, count, dt);
}

[[gnu::target("avx2")]] void integrateStepsAvx2(VornBody* bodies, const HomVec4* external_forces,
                                                std::size_t count, double dt) {
    stepBatch(bodies, external_forces, count, dt);
}

}  // namespace detail

void integrateSteps(std::span<VornBody> bodies, double dt, std::span<const HomVec4> external_forces) {
    if (bodies.size() != external_forces.size()) {
        throw std::invalid_argument("integrateSteps: " + std::to_string(bodies.size()) + " bodies but " +
                                    std::to_string(external_forces.size()) + " external forces");
    }
    if (vorn_kernel::detail::cpuHasAvx2()) {
        detail::integrateStepsAvx2(bodies.data(), external_forces.data(), bodies.size(), dt);
    } else {
        detail::integrateStepsBaseline(bodies.data(), external_forces.data(), bodies.size(), dt);
    }
}

}  // namespace vorn_physics
