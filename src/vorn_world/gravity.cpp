// Gravitational accelerations of all bodies: four bodies per block, the attractors in order
// and then (mutual gravity on) every moved body in storage order as a source.
#include <cstddef>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/lane_math.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

using detail::V4;
using lanes::F64x4;

HomVec4 gravityAcceleration(HomVec4 p, HomVec4 source, double gm) {
    V4<double> acc{0.0, 0.0, 0.0, 0.0};
    detail::addPull(V4<double>{p.x, p.y, p.z, p.w}, V4<double>{source.x, source.y, source.z, source.w}, gm,
                    acc);
    return HomVec4::init(acc.x, acc.y, acc.z, acc.w);
}

double gravityPotential(HomVec4 p, HomVec4 source, double gm) { return detail::potential(p, source, gm); }

namespace {

// The sources of one evaluation, in order: position and G·m, each value in all four lanes
// (read as whole vectors in the loop rather than spread from one double there).
struct Sources {
    std::vector<F64x4> x, y, z, w, gm;

    void add(double sx, double sy, double sz, double sw, double g_m) {
        x.push_back(lanes::broadcast(sx));
        y.push_back(lanes::broadcast(sy));
        z.push_back(lanes::broadcast(sz));
        w.push_back(lanes::broadcast(sw));
        gm.push_back(lanes::broadcast(g_m));
    }
};

}  // namespace

void World::State::computeGravity() {
    Sources sources;
    for (const Attractor& a : attractors) {
        sources.add(a.position.x, a.position.y, a.position.z, a.position.w, G * a.mass);
    }
    if (mutual) {
        for (std::size_t j = 0; j < size(); ++j) {
            if (moved[j] != 0) sources.add(qx()[j], qy()[j], qz()[j], qw()[j], G * mass[j]);
        }
    }
    const std::size_t count = sources.gm.size();
    runParallel(paddedSize() / 4, [&](std::size_t begin, std::size_t end) {
        for (std::size_t block = begin; block < end; ++block) {
            const std::size_t i = 4 * block;
            const lanes::Vec q = lanes::loadVec(qx().data(), qy().data(), qz().data(), qw().data(), i);
            const V4<F64x4> p{q.x, q.y, q.z, q.w};
            const F64x4 zero{};
            V4<F64x4> acc{zero, zero, zero, zero};
            for (std::size_t j = 0; j < count; ++j) {
                detail::addPull(p, V4<F64x4>{sources.x[j], sources.y[j], sources.z[j], sources.w[j]},
                                sources.gm[j], acc);
            }
            const lanes::Mask keep = lanes::movedMask(moved.data() + i);
            lanes::storeVec(gx.data(), gy.data(), gz.data(), gw.data(), i,
                            {lanes::choose(keep, acc.x, zero), lanes::choose(keep, acc.y, zero),
                             lanes::choose(keep, acc.z, zero), lanes::choose(keep, acc.w, zero)});
        }
    });
    gravity_valid = true;
}

void World::accelerations(std::span<HomVec4> out) const {
    if (out.size() != size())
        throw std::invalid_argument("World::accelerations: the span must hold size() vectors");
    if (!state_->gravity_valid) state_->computeGravity();
    const State& s = *state_;
    for (std::size_t i = 0; i < size(); ++i) out[i] = HomVec4::init(s.gx[i], s.gy[i], s.gz[i], s.gw[i]);
}

}  // namespace vorn_world
