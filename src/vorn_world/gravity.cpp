// Gravitational accelerations of all bodies, four or (in the AVX-512 build) eight in the lanes:
// the attractors in order and then (mutual gravity on) every moved body in storage order as a
// source.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <type_traits>

#include "vorn_world.hpp"
#include "vorn_world/chord.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

using detail::Columns;
using detail::ConstColumns;
using detail::Vec4;
using vorn_kernel::detail::F64x4;
using vorn_kernel::detail::F64x8;
using vorn_kernel::detail::Lanes;

HomVec4 gravityAcceleration(HomVec4 p, HomVec4 source, double gm, double softening) {
    Vec4<double> acc{0.0, 0.0, 0.0, 0.0};
    detail::addPull(detail::vec4(p), detail::vec4(source), gm, softening, acc);
    return HomVec4::init(acc.x, acc.y, acc.z, acc.w);
}

namespace {

// The bodies whose accelerations a pass computes: their positions, where the accelerations go,
// and which are moved (the others get zero).
struct Targets {
    ConstColumns q;
    Columns g;
    const std::uint8_t* moved;
};

// Stores the accelerations g of the bodies from i on, zero for the bodies not moved.
template <Lanes T>
[[gnu::always_inline]] inline void storeGravity(const Targets& a, std::size_t i, const Vec4<T>& g) {
    namespace lanes = vorn_kernel::detail;
    lanes::storeVec(a.g, i, lanes::select(lanes::movedMask<T>(a.moved + i), g, lanes::zeroVec4<T>()));
}

// The accelerations of the bodies from i on, in lanes of T.
template <Lanes T>
[[gnu::always_inline]] inline void gravityOfGroup(const Targets& a, const detail::Sources& sources,
                                                  std::size_t i) {
    storeGravity(a, i, detail::pullOfSources(vorn_kernel::detail::loadVec<T>(a.q, i), sources));
}

// The same for two groups of bodies from i on, which share each read of a source.
template <Lanes T>
[[gnu::always_inline]] inline void gravityOfTwoGroups(const Targets& a, const detail::Sources& sources,
                                                      std::size_t i) {
    constexpr std::size_t lanes = vorn_kernel::detail::lane_count<T>;
    const Vec4<T> p0 = vorn_kernel::detail::loadVec<T>(a.q, i);
    const Vec4<T> p1 = vorn_kernel::detail::loadVec<T>(a.q, i + lanes);
    Vec4<T> acc0 = vorn_kernel::detail::zeroVec4<T>();
    Vec4<T> acc1 = vorn_kernel::detail::zeroVec4<T>();
    detail::forEachSource<T>(
        sources.values,
        sources.count, [&](const Vec4<T>& source, const T& gm) __attribute__((always_inline)) {
            detail::addPull(p0, source, gm, sources.softening, acc0);
            detail::addPull(p1, source, gm, sources.softening, acc1);
        });
    storeGravity(a, i, acc0);
    storeGravity(a, i + lanes, acc1);
}

// The accelerations of the blocks [begin, end) in lanes of T. Eight lanes take sixteen bodies
// per read of a source (their registers hold both groups) while four blocks remain, then
// eight, and an odd last block in four lanes.
template <Lanes T>
[[gnu::always_inline]] inline void gravityBlocks(const Targets& a, const detail::Sources& sources,
                                                 std::size_t begin, std::size_t end) {
    std::size_t block = begin;
    if constexpr (std::is_same_v<T, F64x8>) {
        for (; block + 4 <= end; block += 4) gravityOfTwoGroups<T>(a, sources, 4 * block);
        for (; block + 2 <= end; block += 2) gravityOfGroup<T>(a, sources, 4 * block);
    }
    for (; block < end; ++block) gravityOfGroup<F64x4>(a, sources, 4 * block);
}

}  // namespace

void detail::WorldState::computeGravity() {
    computeGravityAt(positions(), Columns{gx.data(), gy.data(), gz.data(), gw.data()});
    gravity_valid = true;
}

void detail::WorldState::computeGravityAt(ConstColumns at, Columns out, Summation summation) {
    if (summation == Summation::solver && treeInUse()) {
        treeGravityAt(at, out);
        return;
    }
    const std::size_t count = gatherSources(at, mutual);  // before the buffer's address is taken
    const Sources from{sources.data(), count, softening};
    const Targets a{at, out, moved.data()};
    const vorn_kernel::detail::LaneBuild build = vorn_kernel::detail::widestLaneBuild();
    runParallel(paddedSize() / 4, [&](std::size_t begin, std::size_t end) {
        vorn_kernel::detail::runWidestLanes<&gravityBlocks<F64x8>, &gravityBlocks<F64x4>>(build, a, from,
                                                                                          begin, end);
    });
}

void World::accelerations(std::span<HomVec4> out) const {
    if (out.size() != size())
        throw std::invalid_argument("World::accelerations: the span must hold size() vectors");
    if (!state_->gravity_valid) state_->computeGravity();
    const detail::WorldState& s = *state_;
    for (std::size_t i = 0; i < size(); ++i) out[i] = HomVec4::init(s.gx[i], s.gy[i], s.gz[i], s.gw[i]);
}

}  // namespace vorn_world
