// Mutual gravity through the tree: built over the moved bodies that pull at each evaluation,
// then walked for the moved bodies of each range of blocks the ParallelFor hands out, in the
// order of the tree (neighbours share the lanes, and so most of their walk) as many at a time
// as the widest lanes hold. Each body's result is its own walk's (tree_walk.hpp), whoever
// shares its lanes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"
#include "vorn_world/tree_gravity.hpp"
#include "vorn_world/tree_walk.hpp"

namespace vorn_world::detail {

namespace {

namespace lanes = vorn_kernel::detail;

// What the walks of one evaluation read and where they write.
struct TreeTargets {
    const GravityTree& tree;
    const std::vector<Attractor>& attractors;
    double G;
    ConstColumns at;
    Columns out;
};

// The accelerations of the bodies at `slots` (count of them), lane_count<T> at a time; a last
// group short of bodies repeats its last one in the spare lanes.
template <Lanes T>
[[gnu::always_inline]] inline void walkGroups(const TreeTargets& a, const std::uint32_t* slots,
                                              std::size_t count) {
    constexpr std::size_t width = lanes::lane_count<T>;
    const double softening = a.tree.options.softening;
    for (std::size_t first = 0; first < count; first += width) {
        alignas(sizeof(T)) std::array<double, width> x{}, y{}, z{}, w{};
        for (std::size_t k = 0; k < width; ++k) {
            const std::uint32_t slot = slots[first + std::min(k, count - 1 - first)];
            x[k] = a.at.x[slot];
            y[k] = a.at.y[slot];
            z[k] = a.at.z[slot];
            w[k] = a.at.w[slot];
        }
        const Vec4<T> p{lanes::loadLanes<T>(x.data()), lanes::loadLanes<T>(y.data()),
                        lanes::loadLanes<T>(z.data()), lanes::loadLanes<T>(w.data())};
        Vec4<T> acc = lanes::zeroVec4<T>();
        for (const Attractor& attractor : a.attractors)
            addPull(p, spreadVec<T>(vec4(attractor.position)), lanes::spread<T>(a.G * attractor.mass),
                    softening, acc);
        const T all = lanes::spread<T>(0.0);
        acc = walkTree<T>(a.tree, p, all == all, acc);
        lanes::storeLanes(x.data(), acc.x);
        lanes::storeLanes(y.data(), acc.y);
        lanes::storeLanes(z.data(), acc.z);
        lanes::storeLanes(w.data(), acc.w);
        for (std::size_t k = 0; k < width && first + k < count; ++k) {
            const std::uint32_t slot = slots[first + k];
            a.out.x[slot] = x[k];
            a.out.y[slot] = y[k];
            a.out.z[slot] = z[k];
            a.out.w[slot] = w[k];
        }
    }
}

}  // namespace

bool WorldState::treeInUse() const {
    if (!mutual) return false;
    switch (solver.method) {
        case GravitySolver::Method::tree:
            return true;
        case GravitySolver::Method::automatic:
            return moved_count - test_count >= AUTOMATIC_TREE_SOURCES;
        default:
            return false;
    }
}

void WorldState::treeGravityAt(ConstColumns at, Columns out) {
    TreeScratch& t = tree_scratch;
    t.points.clear();
    t.gm.clear();
    t.slot_of_source.clear();
    for (std::size_t j = 0; j < size(); ++j) {
        if (pulls[j] == 0) continue;
        t.points.push_back({at.x[j], at.y[j], at.z[j], at.w[j]});
        t.gm.push_back(G * mass[j]);
        t.slot_of_source.push_back(static_cast<std::uint32_t>(j));
    }
    const bool chosen = solver.method == GravitySolver::Method::tree;
    const TreeOptions options{.theta = chosen ? solver.theta : GravitySolver{}.theta,
                              .softening = softening,
                              .order = chosen ? solver.order : GravitySolver{}.order};
    buildGravityTree(t.tree, t.points, t.gm, options);
    t.rank.resize(paddedSize());
    for (std::size_t slot = 0; slot < paddedSize(); ++slot)
        t.rank[slot] = static_cast<std::uint32_t>(t.points.size() + slot);
    for (std::size_t k = 0; k < t.tree.index.size(); ++k)
        t.rank[t.slot_of_source[t.tree.index[k]]] = static_cast<std::uint32_t>(k);

    const TreeTargets targets{t.tree, attractors, G, at, out};
    const lanes::LaneBuild build = lanes::widestLaneBuild();
    runParallel(paddedSize() / 4, [&](std::size_t begin, std::size_t end) {
        std::vector<std::uint32_t> slots;  // this range's moved bodies, in walking order
        for (std::size_t i = 4 * begin; i < 4 * end; ++i) {
            if (moved[i] != 0) {
                slots.push_back(static_cast<std::uint32_t>(i));
            } else {
                out.x[i] = out.y[i] = out.z[i] = out.w[i] = 0.0;
            }
        }
        std::sort(slots.begin(), slots.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return t.rank[a] < t.rank[b]; });
        lanes::runWidestLanes<&walkGroups<lanes::F64x8>, &walkGroups<lanes::F64x4>>(
            build, targets, slots.data(), slots.size());
    });
}

}  // namespace vorn_world::detail
