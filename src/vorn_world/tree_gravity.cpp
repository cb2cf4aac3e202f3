// The kd-tree's build (sequential, deterministic) and its walk for one body.
#include "vorn_world/tree_gravity.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "vorn_world/tree_walk.hpp"

namespace vorn_world::detail {

namespace {

double component(const Vec4<double>& v, int axis) {
    switch (axis) {
        case 0:
            return v.x;
        case 1:
            return v.y;
        case 2:
            return v.z;
        default:
            return v.w;
    }
}

// The representative with w ≥ 0; on w = 0 the last nonzero of z, y, x decides.
Vec4<double> upperRepresentative(const Vec4<double>& s) {
    const double decider = s.w != 0.0 ? s.w : s.z != 0.0 ? s.z : s.y != 0.0 ? s.y : s.x;
    return decider < 0.0 ? Vec4<double>{-s.x, -s.y, -s.z, -s.w} : s;
}

Vec4<double> normalized(const Vec4<double>& v) {
    const double n = std::sqrt(dot(v, v));
    return (1.0 / n) * v;
}

class Builder {
public:
    Builder(std::span<const Vec4<double>> points, std::span<const double> gm, GravityTree& tree)
        : points_(points), tree_(tree), members_(tree.members) {
        members_.clear();
        for (std::size_t i = 0; i < points.size(); ++i)
            members_.push_back({upperRepresentative(points[i]), gm[i], static_cast<std::uint32_t>(i)});
    }

    void build() {
        tree_.cells.clear();
        tree_.moments.clear();
        if (!members_.empty()) addCell(0, static_cast<std::uint32_t>(members_.size()));
        tree_.points.clear();
        tree_.gm.clear();
        tree_.index.clear();
        for (const Member& m : members_) {
            tree_.points.push_back(points_[m.index]);
            tree_.gm.push_back(m.gm);
            tree_.index.push_back(m.index);
        }
    }

private:
    // The cell over [begin, end) and its subtree. Its summary is taken once the subtree has put
    // its members in their final order (leaves in input order), so that every sum runs in an
    // order that depends on the set of members alone.
    void addCell(std::uint32_t begin, std::uint32_t end) {
        const std::size_t at = tree_.cells.size();
        tree_.cells.emplace_back();
        tree_.moments.emplace_back();
        std::uint32_t upper = 0;
        if (end - begin <= tree_.options.leaf_size) {
            std::sort(members_.begin() + begin, members_.begin() + end,
                      [](const Member& a, const Member& b) { return a.index < b.index; });
        } else {
            splitAtMedian(begin, end);
            addCell(begin, begin + (end - begin) / 2);
            upper = static_cast<std::uint32_t>(tree_.cells.size());
            addCell(begin + (end - begin) / 2, end);
        }
        summarize(begin, end, tree_.cells[at], tree_.moments[at]);
        tree_.cells[at].upper = upper;
    }

    // Puts in the lower half of [begin, end) the members below the median along the widest axis
    // of their bounding box, (coordinate, index) ordering ties: the halves' sets are unique,
    // their order inside is left to the subtrees.
    void splitAtMedian(std::uint32_t begin, std::uint32_t end) {
        std::array<double, 4> low{}, high{};
        low.fill(std::numeric_limits<double>::infinity());
        high.fill(-std::numeric_limits<double>::infinity());
        for (std::uint32_t k = begin; k < end; ++k)
            for (int axis = 0; axis < 4; ++axis) {
                low[axis] = std::min(low[axis], component(members_[k].upper, axis));
                high[axis] = std::max(high[axis], component(members_[k].upper, axis));
            }
        int widest = 0;
        for (int axis = 1; axis < 4; ++axis)
            if (high[axis] - low[axis] > high[widest] - low[widest]) widest = axis;
        const auto before = [widest](const Member& a, const Member& b) {
            const double ca = component(a.upper, widest), cb = component(b.upper, widest);
            return ca < cb || (ca == cb && a.index < b.index);
        };
        std::nth_element(members_.begin() + begin, members_.begin() + begin + (end - begin) / 2,
                         members_.begin() + end, before);
    }

    void summarize(std::uint32_t begin, std::uint32_t end, TreeCell& cell, TreeMoments& moments) const {
        cell = TreeCell{};
        moments = TreeMoments{};
        cell.begin = begin;
        cell.end = end;
        Vec4<double> weighted{0.0, 0.0, 0.0, 0.0};
        Vec4<double> low{1.0, 1.0, 1.0, 1.0}, high{-1.0, -1.0, -1.0, -1.0};
        for (std::uint32_t k = begin; k < end; ++k) {
            const Vec4<double>& s = members_[k].upper;
            moments.mass += members_[k].gm;
            weighted = weighted + members_[k].gm * s;
            low = {std::min(low.x, s.x), std::min(low.y, s.y), std::min(low.z, s.z), std::min(low.w, s.w)};
            high = {std::max(high.x, s.x), std::max(high.y, s.y), std::max(high.z, s.z),
                    std::max(high.w, s.w)};
        }
        const Vec4<double> box_centre = 0.5 * (low + high);
        if (dot(weighted, weighted) > 1e-200) {
            cell.centre = normalized(weighted);
        } else if (dot(box_centre, box_centre) > 1e-200) {
            cell.centre = normalized(box_centre);
        } else {
            cell.centre = {0.0, 0.0, 0.0, 1.0};
        }
        double radius_sq = 0.0;
        for (std::uint32_t k = begin; k < end; ++k) {
            const Vec4<double>& s = members_[k].upper;
            const double m = members_[k].gm;
            const Vec4<double> e = s - cell.centre;
            radius_sq = std::max(radius_sq, dot(e, e));
            moments.first = moments.first + m * e;
            const std::array<double, 4> v{e.x, e.y, e.z, e.w};
            int at = 0;
            for (int i = 0; i < 4; ++i)
                for (int j = i; j < 4; ++j) moments.second[at++] += m * v[i] * v[j];
        }
        // A chord ρ spans the angle r = 2·asin(ρ/2): sin r = ρ·√(1 − ρ²/4), and r ≥ π/2 from ρ² = 2.
        const double radius = std::sqrt(radius_sq);
        cell.sin_radius = radius_sq < 2.0 ? radius * std::sqrt(1.0 - 0.25 * radius_sq) : 2.0;
        const double theta = tree_.options.theta;
        const double reach = theta > 0.0 ? radius / theta : std::numeric_limits<double>::infinity();
        // No chord to a representative on p's side is longer than √2.
        cell.open_chord_sq = reach * reach < 2.0 ? reach * reach : std::numeric_limits<double>::infinity();
    }

    using Member = GravityTree::Member;
    std::span<const Vec4<double>> points_;
    GravityTree& tree_;
    std::vector<Member>& members_;
};

}  // namespace

void checkTreeOptions(const TreeOptions& options) {
    if (options.leaf_size == 0) throw std::invalid_argument("tree gravity: a leaf holds at least one source");
    if (!(options.theta >= 0.0 && options.theta < 1.0))
        throw std::invalid_argument("tree gravity: the opening parameter must be in [0, 1)");
    if (options.order < 1 || options.order > 2)
        throw std::invalid_argument("tree gravity: the expansions' order must be 1 or 2");
}

void buildGravityTree(GravityTree& tree, std::span<const Vec4<double>> points, std::span<const double> gm,
                      const TreeOptions& options) {
    checkTreeOptions(options);
    if (points.size() != gm.size())
        throw std::invalid_argument("tree gravity: one parameter per source is needed");
    if (points.size() >= std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("tree gravity: too many sources");
    tree.options = options;
    Builder(points, gm, tree).build();
}

GravityTree buildGravityTree(std::span<const Vec4<double>> points, std::span<const double> gm,
                             const TreeOptions& options) {
    GravityTree tree;
    buildGravityTree(tree, points, gm, options);
    return tree;
}

Vec4<double> treePull(const GravityTree& tree, const Vec4<double>& p, TreeWalkCounts* counts,
                      const Vec4<double>& start) {
    return walkTree<double>(tree, p, true, start, counts);
}

}  // namespace vorn_world::detail
