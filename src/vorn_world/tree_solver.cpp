// Mutual gravity through the tree: built over the moved bodies that pull at each evaluation,
// then walked for every moved body, block by block on the World's ParallelFor.
#include <cstddef>
#include <cstdint>

#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"
#include "vorn_world/tree_gravity.hpp"

namespace vorn_world::detail {

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
    for (std::size_t j = 0; j < size(); ++j) {
        if (pulls[j] == 0) continue;
        t.points.push_back({at.x[j], at.y[j], at.z[j], at.w[j]});
        t.gm.push_back(G * mass[j]);
    }
    const TreeOptions options{.theta = solver.method == GravitySolver::Method::tree ? solver.theta : 0.3,
                              .softening = softening,
                              .order = solver.method == GravitySolver::Method::tree ? solver.order : 2};
    buildGravityTree(t.tree, t.points, t.gm, options);
    const GravityTree& tree = t.tree;
    runParallel(paddedSize() / 4, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = 4 * begin; i < 4 * end; ++i) {
            Vec4<double> acc{0.0, 0.0, 0.0, 0.0};
            if (moved[i] != 0) {
                const Vec4<double> p{at.x[i], at.y[i], at.z[i], at.w[i]};
                for (const Attractor& a : attractors)
                    addPull(p, vec4(a.position), G * a.mass, softening, acc);
                acc = treePull(tree, p, nullptr, acc);
            }
            out.x[i] = acc.x;
            out.y[i] = acc.y;
            out.z[i] = acc.z;
            out.w[i] = acc.w;
        }
    });
}

}  // namespace vorn_world::detail
