// A kd-tree in R⁴ over the sources of gravity and the walk that approximates their pull on one
// body with it (World's tree solver). Each source is stored as its representative with w ≥ 0
// (ties: the last nonzero of w, z, y, x is made positive); cells split at the median along the
// widest axis of their bounding box (ties by index), leaves hold at most eight sources (by
// default) in input order. A cell keeps its mass M = Σ gm, centre u = normalize(Σ gm·s), chord
// radius ρ = max |s − u|, first moment D = Σ gm·(s − u) and second moment
// Q = Σ gm·(s − u)(s − u)ᵀ, each summed over its members in tree order. Only +, −, ·, / and √:
// the tree is the same bits on every target.
//
// The walk visits the cells depth first, the lower half before the upper, and adds every term
// to one running sum in that order, so the result is a fixed function of the tree and p, also
// when bodies are walked together in lanes (each lane skips what its body does not visit). A cell
// on one side of p's equator (|p·u| > sin r with a margin, r the angle of ρ) and narrow enough
// (ρ < θ·|u' − p|, u' the cell's representative on p's side) adds the expansion of the law
// about u' to the given order; any other leaf adds each member's exact pull (addPull, with the
// source as given, so that a member gives the direct sum's bits for it). θ = 0 opens every cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "vorn_kernel/lanes.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::Vec4;

// How a tree is built and walked: the opening parameter θ in [0, 1), the softening ε of the
// law, the order of the cells' expansions (1: mass and first moment; 2: and second moment) and
// the most sources in a leaf (at least one).
struct TreeOptions {
    double theta = 0.5;
    double softening = 1e-10;
    std::uint32_t order = 2;
    std::uint32_t leaf_size = 8;
};

// What the walk reads of every cell it meets (one cache line).
struct TreeCell {
    Vec4<double> centre;       // u
    double sin_radius;         // sin r (r < π/2), or 2 when r ≥ π/2
    double open_chord_sq;      // |u' − p|² at or below which the cell is opened: (ρ/θ)², or ∞
    std::uint32_t begin, end;  // its members, in tree order
    std::uint32_t upper;       // the index of its upper half (0 for a leaf); the lower half follows
};

// What an expansion of the cell reads.
struct TreeMoments {
    Vec4<double> first;  // D
    double second[10];   // Q: xx, xy, xz, xw, yy, yz, yw, zz, zw, ww
    double mass;         // M
};

struct GravityTree {
    std::vector<TreeCell> cells;       // in depth-first order, the root first; empty without sources
    std::vector<TreeMoments> moments;  // the cells'
    std::vector<Vec4<double>> points;  // the sources as given, in tree order
    std::vector<double> gm;            // their G·m, in tree order
    std::vector<std::uint32_t> index;  // their index in the input, in tree order
    // The build's sources: upper representative, G·m and index, kept together so that its
    // passes read memory in order.
    struct Member {
        Vec4<double> upper;
        double gm;
        std::uint32_t index;
    };
    std::vector<Member> members;
    TreeOptions options;
};

// Checks the options and the sizes: std::invalid_argument naming what is wrong.
void checkTreeOptions(const TreeOptions& options);

// Rebuilds `tree` over sources at `points` (unit length) with parameters `gm` (same size, below
// 2^32), reusing its buffers (no allocation once they have grown). Throws std::invalid_argument
// as checkTreeOptions does, or when the sizes differ.
void buildGravityTree(GravityTree& tree, std::span<const Vec4<double>> points, std::span<const double> gm,
                      const TreeOptions& options);
GravityTree buildGravityTree(std::span<const Vec4<double>> points, std::span<const double> gm,
                             const TreeOptions& options);

// What one walk did: cells expanded, cells opened, and exact pulls in leaves that straddle p's
// equator and in the other leaves reached.
struct TreeWalkCounts {
    std::size_t accepted = 0;
    std::size_t opened = 0;
    std::size_t exact_straddling = 0;
    std::size_t exact_near = 0;
};

// start plus the acceleration of a body at p (unit length) from the tree's sources, each term
// added to the running sum in the walk's order (tree_walk.hpp, which also walks bodies in
// lanes); counts, when given, accumulate what the walk did.
Vec4<double> treePull(const GravityTree& tree, const Vec4<double>& p, TreeWalkCounts* counts = nullptr,
                      const Vec4<double>& start = {0.0, 0.0, 0.0, 0.0});

}  // namespace vorn_world::detail
