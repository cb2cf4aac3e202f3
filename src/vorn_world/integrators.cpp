// World::step: the compat step (vornGravity and integrateSteps, as a user's loop would) and
// the kick–drift–kick steps, four bodies per block.
#include <cmath>
#include <cstddef>
#include <vector>

#include "vorn_physics.hpp"
#include "vorn_world.hpp"
#include "vorn_world/lane_math.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

using lanes::F64x4;
using lanes::Mask;
using lanes::Vec;

namespace {

// sin and cos of each lane. Angles up to 1/4 in magnitude use Taylor polynomials whose
// truncation error is below 1e-20 (so only rounding remains); larger ones use the library.
[[gnu::always_inline]] inline void sinCos(const F64x4& x, F64x4& s, F64x4& c) {
    const F64x4 x2 = x * x;
    s = x *
        (1.0 + x2 * (-1.0 / 6.0 +
                     x2 * (1.0 / 120.0 +
                           x2 * (-1.0 / 5040.0 + x2 * (1.0 / 362880.0 + x2 * (-1.0 / 39916800.0 +
                                                                              x2 * (1.0 / 6227020800.0)))))));
    c = 1.0 + x2 * (-0.5 + x2 * (1.0 / 24.0 +
                                 x2 * (-1.0 / 720.0 +
                                       x2 * (1.0 / 40320.0 +
                                             x2 * (-1.0 / 3628800.0 + x2 * (1.0 / 479001600.0 +
                                                                            x2 * (-1.0 / 87178291200.0)))))));
    for (int k = 0; k < 4; ++k) {
        if (!(std::fabs(x[k]) <= 0.25)) {
            s[k] = std::sin(x[k]);
            c[k] = std::cos(x[k]);
        }
    }
}

// v + h·(g + f/m), less its part along q.
[[gnu::always_inline]] inline Vec kick(const Vec& q, const Vec& v, const Vec& g, const Vec& f, const F64x4& m,
                                       double h) {
    const Vec a{g.x + f.x / m, g.y + f.y / m, g.z + f.z / m, g.w + f.w / m};
    const Vec k{v.x + h * a.x, v.y + h * a.y, v.z + h * a.z, v.w + h * a.w};
    const F64x4 radial = lanes::dot(k, q);
    return {k.x - radial * q.x, k.y - radial * q.y, k.z - radial * q.z, k.w - radial * q.w};
}

// The great circle through q with velocity v, followed for time h, then put back on the
// sphere with the velocity's radial part removed.
[[gnu::always_inline]] inline void drift(Vec& q, Vec& v, double h) {
    const F64x4 speed = lanes::sqrtLanes(lanes::dot(v, v));
    F64x4 s, c;
    sinCos(speed * h, s, c);
    // sin(speed·h)/speed → h as the speed goes to 0; a body at rest stays where it is.
    const F64x4 s_over = lanes::choose(speed > 0.0, s / speed, lanes::broadcast(h));
    const F64x4 s_times = speed * s;
    Vec nq{c * q.x + s_over * v.x, c * q.y + s_over * v.y, c * q.z + s_over * v.z, c * q.w + s_over * v.w};
    Vec nv{c * v.x - s_times * q.x, c * v.y - s_times * q.y, c * v.z - s_times * q.z,
           c * v.w - s_times * q.w};
    const F64x4 n = lanes::sqrtLanes(lanes::dot(nq, nq));
    nq = {nq.x / n, nq.y / n, nq.z / n, nq.w / n};
    const F64x4 radial = lanes::dot(nv, nq);
    nv = {nv.x - radial * nq.x, nv.y - radial * nq.y, nv.z - radial * nq.z, nv.w - radial * nq.w};
    q = nq;
    v = nv;
}

Vec choose(const Mask& m, const Vec& a, const Vec& b) {
    return {lanes::choose(m, a.x, b.x), lanes::choose(m, a.y, b.y), lanes::choose(m, a.z, b.z),
            lanes::choose(m, a.w, b.w)};
}

}  // namespace

namespace {

// Kick by h_kick, drift by h: the first half of a kick–drift–kick step.
void kickDrift(World::State& s, double h_kick, double h) {
    s.runParallel(s.paddedSize() / 4, [&](std::size_t begin, std::size_t end) {
        for (std::size_t block = begin; block < end; ++block) {
            const std::size_t i = 4 * block;
            const Mask moves = lanes::movedMask(s.moved.data() + i);
            const Vec q0 = lanes::loadVec(s.qx().data(), s.qy().data(), s.qz().data(), s.qw().data(), i);
            const Vec v0 = lanes::loadVec(s.vx().data(), s.vy().data(), s.vz().data(), s.vw().data(), i);
            const Vec g = lanes::loadVec(s.gx.data(), s.gy.data(), s.gz.data(), s.gw.data(), i);
            const Vec f = lanes::loadVec(s.fx.data(), s.fy.data(), s.fz.data(), s.fw.data(), i);
            const F64x4 m = lanes::load(s.mass.data() + i);
            Vec q = q0;
            Vec v = kick(q0, v0, g, f, m, h_kick);
            drift(q, v, h);
            lanes::storeVec(s.qx().data(), s.qy().data(), s.qz().data(), s.qw().data(), i,
                            choose(moves, q, q0));
            lanes::storeVec(s.vx().data(), s.vy().data(), s.vz().data(), s.vw().data(), i,
                            choose(moves, v, v0));
        }
    });
    s.gravity_valid = false;
}

void kickOnly(World::State& s, double h_kick) {
    s.runParallel(s.paddedSize() / 4, [&](std::size_t begin, std::size_t end) {
        for (std::size_t block = begin; block < end; ++block) {
            const std::size_t i = 4 * block;
            const Mask moves = lanes::movedMask(s.moved.data() + i);
            const Vec q = lanes::loadVec(s.qx().data(), s.qy().data(), s.qz().data(), s.qw().data(), i);
            const Vec v0 = lanes::loadVec(s.vx().data(), s.vy().data(), s.vz().data(), s.vw().data(), i);
            const Vec g = lanes::loadVec(s.gx.data(), s.gy.data(), s.gz.data(), s.gw.data(), i);
            const Vec f = lanes::loadVec(s.fx.data(), s.fy.data(), s.fz.data(), s.fw.data(), i);
            const F64x4 m = lanes::load(s.mass.data() + i);
            lanes::storeVec(s.vx().data(), s.vy().data(), s.vz().data(), s.vw().data(), i,
                            choose(moves, kick(q, v0, g, f, m, h_kick), v0));
        }
    });
}

void kickDriftKick(World::State& s, double h) {
    if (!s.gravity_valid) s.computeGravity();
    kickDrift(s, 0.5 * h, h);
    s.computeGravity();
    kickOnly(s, 0.5 * h);
}

void clearForces(World::State& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.moved[i] != 0) s.fx[i] = s.fy[i] = s.fz[i] = s.fw[i] = 0.0;
    }
}

HomVec4 onSide(HomVec4 p, HomVec4 a) {
    return HomVec4::dot(p, a) < 0.0 ? HomVec4::init(-a.x, -a.y, -a.z, -a.w) : a;
}

void addScaled(HomVec4& sum, double m, HomVec4 g) {
    sum = HomVec4::init(sum.x + m * g.x, sum.y + m * g.y, sum.z + m * g.z, sum.w + m * g.w);
}

void compatStep(World::State& s, double dt) {
    std::vector<VornBody> bodies(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) bodies[i] = s.readSlot(i);
    std::vector<HomVec4> forces(s.size(), HomVec4::zero());
    s.runParallel(s.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const VornBody& b = bodies[i];
            if (!isMoved(b)) continue;
            HomVec4 sum = HomVec4::zero();
            for (const Attractor& a : s.attractors) {
                addScaled(sum, b.mass,
                          vorn_physics::vornGravity(b, onSide(b.position, a.position), a.mass, s.G));
            }
            if (s.mutual) {
                for (std::size_t j = 0; j < bodies.size(); ++j) {
                    if (j == i || !isMoved(bodies[j])) continue;
                    addScaled(sum, b.mass,
                              vorn_physics::vornGravity(b, onSide(b.position, bodies[j].position),
                                                        bodies[j].mass, s.G));
                }
            }
            forces[i] = sum;
        }
    });
    vorn_physics::integrateSteps(bodies, dt, forces);
    for (std::size_t i = 0; i < s.size(); ++i) s.writeSlot(i, bodies[i]);
}

}  // namespace

void World::step(double dt, Integrator integrator) {
    State& s = *state_;
    switch (integrator) {
        case Integrator::compat:
            compatStep(s, dt);
            return;
        case Integrator::kdk:
            kickDriftKick(s, dt);
            break;
        case Integrator::yoshida4: {
            // 2^(1/3) correctly rounded, as a literal: compilers that fold std::cbrt(2.0) and
            // the library's own cbrt need not agree in the last bit.
            constexpr double cbrt2 = 1.2599210498948731648;
            const double w1 = 1.0 / (2.0 - cbrt2);
            const double w0 = -cbrt2 / (2.0 - cbrt2);
            kickDriftKick(s, w1 * dt);
            kickDriftKick(s, w0 * dt);
            kickDriftKick(s, w1 * dt);
            break;
        }
    }
    clearForces(s);
}

}  // namespace vorn_world
