// Gravitational accelerations of all bodies, four or (in the AVX-512 build) eight in the lanes:
// the attractors in order and then (mutual gravity on) every moved body in storage order as a
// source.
#include <cstddef>
#include <type_traits>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/block_lanes.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

using detail::V4;

HomVec4 gravityAcceleration(HomVec4 p, HomVec4 source, double gm) {
    V4<double> acc{0.0, 0.0, 0.0, 0.0};
    detail::addPull(V4<double>{p.x, p.y, p.z, p.w}, V4<double>{source.x, source.y, source.z, source.w}, gm,
                    acc);
    return HomVec4::init(acc.x, acc.y, acc.z, acc.w);
}

double gravityPotential(HomVec4 p, HomVec4 source, double gm) { return detail::potential(p, source, gm); }

namespace {

Columns lowColumns(std::vector<double>& block, std::size_t rows) {
    if (block.empty()) return {nullptr, nullptr, nullptr, nullptr};  // none carried, or no rows
    return {block.data(), block.data() + rows, block.data() + 2 * rows, block.data() + 3 * rows};
}

}  // namespace

BodyArrays World::State::arrays() {
    return {{qx().data(), qy().data(), qz().data(), qw().data()},
            {vx().data(), vy().data(), vz().data(), vw().data()},
            {fx.data(), fy.data(), fz.data(), fw.data()},
            {gx.data(), gy.data(), gz.data(), gw.data()},
            lowColumns(q_low_block, rows),
            lowColumns(v_low_block, rows),
            mass.data(),
            moved.data()};
}

std::size_t World::State::gatherSources(bool with_bodies) {
    sources.clear();
    const auto add = [this](double x, double y, double z, double w, double gm) {
        for (const double value : {x, y, z, w, gm}) sources.insert(sources.end(), 4, value);
    };
    for (const Attractor& a : attractors)
        add(a.position.x, a.position.y, a.position.z, a.position.w, G * a.mass);
    if (with_bodies) {
        for (std::size_t j = 0; j < size(); ++j) {
            if (moved[j] != 0) add(qx()[j], qy()[j], qz()[j], qw()[j], G * mass[j]);
        }
    }
    return sources.size() / doubles_per_source;
}

namespace {

// Stores the accelerations g of the bodies from i on, zero for the bodies not moved.
template <detail::Lanes T>
[[gnu::always_inline]] inline void storeGravity(const BodyArrays& a, std::size_t i, const detail::V4<T>& g) {
    const T zero{};
    detail::storeVec(a.g, i,
                     detail::selectVec(detail::movedMask<T>(a.moved + i), g, {zero, zero, zero, zero}));
}

// The accelerations of the bodies from i on, in lanes of T.
template <detail::Lanes T>
[[gnu::always_inline]] inline void gravityOfGroup(const BodyArrays& a, const double* sources,
                                                  std::size_t count, std::size_t i) {
    storeGravity(a, i, detail::pullOfSources(detail::loadVec<T>(a.q, i), sources, count));
}

// The same for two groups of bodies from i on, which share each read of a source.
template <detail::Lanes T>
[[gnu::always_inline]] inline void gravityOfTwoGroups(const BodyArrays& a, const double* sources,
                                                      std::size_t count, std::size_t i) {
    constexpr std::size_t lanes = vorn_kernel::detail::lane_count<T>;
    const detail::V4<T> p0 = detail::loadVec<T>(a.q, i);
    const detail::V4<T> p1 = detail::loadVec<T>(a.q, i + lanes);
    const T zero{};
    detail::V4<T> acc0{zero, zero, zero, zero};
    detail::V4<T> acc1{zero, zero, zero, zero};
    detail::forEachSource<T>(
        sources, count, [&](const detail::V4<T>& source, const T& gm) __attribute__((always_inline)) {
            detail::addPull(p0, source, gm, acc0);
            detail::addPull(p1, source, gm, acc1);
        });
    storeGravity(a, i, acc0);
    storeGravity(a, i + lanes, acc1);
}

// The accelerations of the blocks [begin, end) in lanes of T. Eight lanes take sixteen bodies
// per read of a source (their registers hold both groups) while four blocks remain, then
// eight, and an odd last block in four lanes.
template <detail::Lanes T>
[[gnu::always_inline]] inline void gravityBlocks(const BodyArrays& a, const double* sources,
                                                 std::size_t count, std::size_t begin, std::size_t end) {
    std::size_t block = begin;
    if constexpr (std::is_same_v<T, detail::F64x8>) {
        for (; block + 4 <= end; block += 4) gravityOfTwoGroups<T>(a, sources, count, 4 * block);
        for (; block + 2 <= end; block += 2) gravityOfGroup<T>(a, sources, count, 4 * block);
    }
    for (; block < end; ++block) gravityOfGroup<detail::F64x4>(a, sources, count, 4 * block);
}

}  // namespace

void World::State::computeGravity() {
    const std::size_t count = gatherSources(mutual);
    const BodyArrays a = arrays();
    const vorn_kernel::detail::LaneBuild build = vorn_kernel::detail::widestLaneBuild();
    runParallel(paddedSize() / 4, [&](std::size_t begin, std::size_t end) {
        vorn_kernel::detail::runWidestLanes<&gravityBlocks<detail::F64x8>, &gravityBlocks<detail::F64x4>>(
            build, a, sources.data(), count, begin, end);
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
