// Gravitational accelerations of all bodies: four bodies per block, the attractors in order
// and then (mutual gravity on) every moved body in storage order as a source.
#include <array>
#include <cstddef>
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

// The accelerations of `groups` groups of bodies from i on, in lanes of T, from `count`
// sources; zero for the bodies not moved.
template <detail::Lanes T, std::size_t groups>
[[gnu::always_inline]] inline void storeGravity(const BodyArrays& a, const double* sources, std::size_t count,
                                                std::size_t i) {
    constexpr std::size_t lanes = vorn_kernel::detail::lane_count<T>;
    std::array<detail::V4<T>, groups> p;
    for (std::size_t k = 0; k < groups; ++k) p[k] = detail::loadVec<T>(a.q, i + lanes * k);
    const std::array<detail::V4<T>, groups> g = detail::pullsOfSources<T, groups>(p, sources, count);
    const T zero{};
    for (std::size_t k = 0; k < groups; ++k) {
        const std::size_t at = i + lanes * k;
        detail::storeVec(
            a.g, at, detail::selectVec(detail::movedMask<T>(a.moved + at), g[k], {zero, zero, zero, zero}));
    }
}

// The accelerations of the blocks [begin, end) in lanes of T. Eight lanes take two groups per
// source read (their registers hold both) while four blocks remain, then one group of two
// blocks, and an odd last block in four lanes.
template <detail::Lanes T>
[[gnu::always_inline]] inline void gravityBlocks(const BodyArrays& a, const double* sources,
                                                 std::size_t count, std::size_t begin, std::size_t end) {
    constexpr std::size_t blocks_per_group = vorn_kernel::detail::lane_count<T> / 4;
    constexpr std::size_t groups = blocks_per_group == 2 ? 2 : 1;
    std::size_t block = begin;
    for (; block + groups * blocks_per_group <= end; block += groups * blocks_per_group)
        storeGravity<T, groups>(a, sources, count, 4 * block);
    for (; block + blocks_per_group <= end; block += blocks_per_group)
        storeGravity<T, 1>(a, sources, count, 4 * block);
    for (; block < end; ++block) storeGravity<detail::F64x4, 1>(a, sources, count, 4 * block);
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
