// The kd-tree's build (sequential, deterministic) and its walk for one body.
#include "vorn_world/tree_gravity.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "vorn_world/chord.hpp"
#include "vorn_world/pull.hpp"

namespace vorn_world::detail {

namespace {

// Added to sin r in the test for a cell on one side of p's equator: covers the rounding of
// p·u and of the radius.
constexpr double equator_margin = 1e-12;

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
        : points_(points), gm_(gm), tree_(tree), order_(tree.index) {}

    void build() {
        tree_.cells.clear();
        tree_.upper.clear();
        for (const Vec4<double>& s : points_) tree_.upper.push_back(upperRepresentative(s));
        order_.resize(points_.size());
        std::iota(order_.begin(), order_.end(), std::uint32_t{0});
        if (!order_.empty()) addCell(0, static_cast<std::uint32_t>(order_.size()));
        tree_.points.clear();
        tree_.gm.clear();
        tree_.flip.clear();
        for (const std::uint32_t i : order_) {
            const Vec4<double>& s = points_[i];
            const Vec4<double>& u = tree_.upper[i];
            tree_.points.push_back(s);
            tree_.gm.push_back(gm_[i]);
            tree_.flip.push_back(u.x == s.x && u.y == s.y && u.z == s.z && u.w == s.w ? 1.0 : -1.0);
        }
    }

private:
    // The cell over [begin, end) and its subtree. Its summary is taken once the subtree has put
    // its members in their final order (leaves in input order), so that every sum runs in an
    // order that depends on the set of members alone.
    void addCell(std::uint32_t begin, std::uint32_t end) {
        const std::size_t at = tree_.cells.size();
        tree_.cells.emplace_back();
        std::uint32_t upper = 0;
        if (end - begin <= tree_.options.leaf_size) {
            std::sort(order_.begin() + begin, order_.begin() + end);
        } else {
            splitAtMedian(begin, end);
            addCell(begin, begin + (end - begin) / 2);
            upper = static_cast<std::uint32_t>(tree_.cells.size());
            addCell(begin + (end - begin) / 2, end);
        }
        tree_.cells[at] = summary(begin, end);
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
                low[axis] = std::min(low[axis], component(tree_.upper[order_[k]], axis));
                high[axis] = std::max(high[axis], component(tree_.upper[order_[k]], axis));
            }
        int widest = 0;
        for (int axis = 1; axis < 4; ++axis)
            if (high[axis] - low[axis] > high[widest] - low[widest]) widest = axis;
        const auto before = [&](std::uint32_t a, std::uint32_t b) {
            const double ca = component(tree_.upper[a], widest), cb = component(tree_.upper[b], widest);
            return ca < cb || (ca == cb && a < b);
        };
        std::nth_element(order_.begin() + begin, order_.begin() + begin + (end - begin) / 2,
                         order_.begin() + end, before);
    }

    TreeCell summary(std::uint32_t begin, std::uint32_t end) const {
        TreeCell cell{};
        cell.begin = begin;
        cell.end = end;
        Vec4<double> weighted{0.0, 0.0, 0.0, 0.0};
        Vec4<double> low{1.0, 1.0, 1.0, 1.0}, high{-1.0, -1.0, -1.0, -1.0};
        for (std::uint32_t k = begin; k < end; ++k) {
            const Vec4<double>& s = tree_.upper[order_[k]];
            cell.mass += gm_[order_[k]];
            weighted = weighted + gm_[order_[k]] * s;
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
        cell.first = {0.0, 0.0, 0.0, 0.0};
        for (std::uint32_t k = begin; k < end; ++k) {
            const Vec4<double>& s = tree_.upper[order_[k]];
            const double m = gm_[order_[k]];
            const Vec4<double> e = s - cell.centre;
            radius_sq = std::max(radius_sq, dot(e, e));
            cell.first = cell.first + m * e;
            const std::array<double, 4> v{e.x, e.y, e.z, e.w};
            int at = 0;
            for (int i = 0; i < 4; ++i)
                for (int j = i; j < 4; ++j) cell.second[at++] += m * v[i] * v[j];
        }
        // A chord ρ spans the angle r = 2·asin(ρ/2): sin r = ρ·√(1 − ρ²/4), and r ≥ π/2 from ρ² = 2.
        const double radius = std::sqrt(radius_sq);
        cell.sin_radius = radius_sq < 2.0 ? radius * std::sqrt(1.0 - 0.25 * radius_sq) : 2.0;
        const double theta = tree_.options.theta;
        const double reach = theta > 0.0 ? radius / theta : std::numeric_limits<double>::infinity();
        // No chord to a representative on p's side is longer than √2.
        cell.open_chord_sq = reach * reach < 2.0 ? reach * reach : std::numeric_limits<double>::infinity();
        return cell;
    }

    std::span<const Vec4<double>> points_;
    std::span<const double> gm_;
    GravityTree& tree_;
    std::vector<std::uint32_t>& order_;
};

// Q·p for the symmetric Q stored as its upper triangle.
Vec4<double> times(const double (&q)[10], const Vec4<double>& p) {
    return {((q[0] * p.x + q[1] * p.y) + q[2] * p.z) + q[3] * p.w,
            ((q[1] * p.x + q[4] * p.y) + q[5] * p.z) + q[6] * p.w,
            ((q[2] * p.x + q[5] * p.y) + q[7] * p.z) + q[8] * p.w,
            ((q[3] * p.x + q[6] * p.y) + q[8] * p.z) + q[9] * p.w};
}

// The expansion of the cell's pull at p about u' = σ·u (σ = sign(p·u)), whose chord to p is
// delta, to the first order:
//   M·f·w + f′·(p·D′)·w + f·(D′ − (p·D′)·p),
// and to the second, plus ½·f″·(pᵀQp)·w + f′·(Qp − (pᵀQp)·p), with w = u′ − c·p, c = p·u′,
// D′ = σ·D.
Vec4<double> expansion(const TreeCell& cell, const Vec4<double>& p, double sigma, const Vec4<double>& delta,
                       const TreeOptions& options) {
    const double dd = dot(delta, delta);
    const double h = 0.5 * dd;
    const double c = 1.0 - h;
    const PullFactors k = pullFactors(c, dd - h * h, options.softening);
    const Vec4<double> w = delta + h * p;  // u′ − c·p
    const Vec4<double> d = sigma * cell.first;
    const double pd = dot(p, d);
    const Vec4<double> tangent_d = d - pd * p;
    if (options.order < 2) return (cell.mass * k.f + k.df * pd) * w + k.f * tangent_d;
    const Vec4<double> qp = times(cell.second, p);
    const double pqp = dot(p, qp);
    const Vec4<double> tangent_qp = qp - pqp * p;
    return (((cell.mass * k.f + k.df * pd + 0.5 * k.ddf * pqp) * w + k.f * tangent_d) + k.df * tangent_qp);
}

}  // namespace

PullFactors pullFactors(double c, double sin_sq, double softening) {
    const double a = 1.0 / (sin_sq + softening);
    const double b = 1.0 / sin_sq;
    const double f = a / std::sqrt(sin_sq);
    const double g = 2.0 * a + b;
    const double c_sq = c * c;
    return {f, c * f * g, f * ((g + c_sq * g * g) + 2.0 * c_sq * (2.0 * a * a + b * b))};
}

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

namespace {

// One walk: the body, the tree, the running sum and the counts.
class Walk {
public:
    Walk(const GravityTree& tree, const Vec4<double>& p, TreeWalkCounts* counts, const Vec4<double>& start)
        : tree_(tree), p_(p), counts_(counts), softening_(tree.options.softening), acc_(start) {}

    Vec4<double> run() {
        if (tree_.cells.empty()) return acc_;
        std::array<std::uint32_t, 128> stack{};
        std::size_t top = 0;
        stack[top++] = 0;
        while (top > 0) {
            const std::uint32_t at = stack[--top];
            const TreeCell& cell = tree_.cells[at];
            const Side side = sideOf(cell);
            const Straddling straddling = tree_.options.straddling;
            if (!side.near && (!side.straddles || straddling == Straddling::ignore)) {
                addExpansion(cell, side, 1.0);
            } else if (!side.near && straddling == Straddling::split_by_sign) {
                addExpansion(cell, side, 1.0);
                if (cell.upper == 0) {
                    correctMembers(cell, side.sigma);
                } else {
                    correct(at + 1, side.sigma);
                    correct(cell.upper, side.sigma);
                }
            } else if (cell.upper != 0) {
                if (counts_ != nullptr) ++counts_->opened;
                stack[top++] = cell.upper;
                stack[top++] = at + 1;
            } else {
                for (std::uint32_t k = cell.begin; k < cell.end; ++k)
                    addPull(p_, tree_.points[k], tree_.gm[k], softening_, acc_);
                if (counts_ != nullptr)
                    (side.straddles ? counts_->exact_straddling : counts_->exact_near) +=
                        cell.end - cell.begin;
            }
        }
        return acc_;
    }

private:
    struct Side {
        double sigma;        // sign(p·u), +1 at 0
        Vec4<double> delta;  // σ·u − p
        bool straddles;      // some member may lie on the other side of p's equator
        bool near;           // too close for the expansion
    };

    Side sideOf(const TreeCell& cell) const {
        const double along = dot(p_, cell.centre);
        const double sigma = along < 0.0 ? -1.0 : 1.0;
        const Vec4<double> delta = sigma * cell.centre - p_;
        return {sigma, delta, !(std::abs(along) > cell.sin_radius + equator_margin),
                !(dot(delta, delta) > cell.open_chord_sq)};
    }

    void addExpansion(const TreeCell& cell, const Side& side, double factor) {
        acc_ = acc_ + factor * expansion(cell, p_, side.sigma, side.delta, tree_.options);
        if (counts_ != nullptr) ++counts_->accepted;
    }

    // Adds twice the pull of the members of cell `at` whose representative on p's side is −σ·s
    // (s the upper representative): an expansion about σ·u counted them as σ·s.
    void correct(std::uint32_t at, double sigma) {
        const TreeCell& cell = tree_.cells[at];
        const Side side = sideOf(cell);
        if (!side.straddles && side.sigma == sigma) return;
        if (!side.straddles && !side.near) {
            addExpansion(cell, side, 2.0);
        } else if (cell.upper != 0) {
            if (counts_ != nullptr) ++counts_->opened;
            correct(at + 1, sigma);
            correct(cell.upper, sigma);
        } else {
            correctMembers(cell, sigma);
        }
    }

    // The same for a leaf's members, each tested with the direct pull's own test (the sign of p·s
    // for s as given). When most are beyond and the leaf is far enough for its expansion E about
    // σ·u, the pull of those beyond is −E plus the exact pull of the others (the law is odd in
    // s): twice that is added instead, so at most half the members are pulled.
    void correctMembers(const TreeCell& cell, double sigma) {
        const auto beyond = [&](std::uint32_t k) {
            return (dot(p_, tree_.points[k]) < 0.0 ? -1.0 : 1.0) != sigma * tree_.flip[k];
        };
        std::uint32_t count = 0;
        for (std::uint32_t k = cell.begin; k < cell.end; ++k) count += beyond(k) ? 1 : 0;
        if (counts_ != nullptr) counts_->sides_tested += cell.end - cell.begin;
        const Vec4<double> delta = sigma * cell.centre - p_;
        const bool from_expansion =
            2 * count > cell.end - cell.begin && dot(delta, delta) > cell.open_chord_sq;
        if (from_expansion) addExpansion(cell, Side{sigma, delta, true, false}, -2.0);
        for (std::uint32_t k = cell.begin; k < cell.end; ++k) {
            if (beyond(k) == from_expansion) continue;
            Vec4<double> pull{0.0, 0.0, 0.0, 0.0};
            addPull(p_, tree_.points[k], tree_.gm[k], softening_, pull);
            acc_ = acc_ + 2.0 * pull;
            if (counts_ != nullptr) ++counts_->exact_straddling;
        }
    }

    const GravityTree& tree_;
    Vec4<double> p_;
    TreeWalkCounts* counts_;
    double softening_;
    Vec4<double> acc_;
};

}  // namespace

Vec4<double> treePull(const GravityTree& tree, const Vec4<double>& p, TreeWalkCounts* counts,
                      const Vec4<double>& start) {
    return Walk(tree, p, counts, start).run();
}

}  // namespace vorn_world::detail
