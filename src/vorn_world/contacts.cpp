// Contacts: a hashed grid over the (x, y, z) of each body's unit representative with w ≥ 0,
// and the exact test of vorn_kernel::fsDistance on every candidate, so the set found is the
// set checkCollision gives.
//
// Why the grid misses nothing: if fsDistance(p_i, p_j) < θ then, for the unit representatives
// u_i, u_j with w ≥ 0, either |u_i − u_j| < R or |u_i + u_j| < R, where R slightly exceeds the
// chord 2·sin(θ/2) (its margin covers the rounding of the computed distance). Distances in
// (x, y, z) are at most those in R⁴. The first case is found at u_j's own cell; in the second,
// w_i + w_j < R, so w_j < R, and such bodies are also entered at −(x, y, z). Cells are 2.5·R
// wide and a query visits its own cell and, per axis, the neighbour on the nearer side: eight
// cells that cover every point within 1.25·R. Bodies whose position is not of usable length
// (below 1e-100, above 1e100 or not finite) are tested against every other body.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "vorn_kernel.hpp"
#include "vorn_world.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

namespace {

// A body's place in one cell, with its unit vector at hand for the screening dot product.
struct Entry {
    std::uint64_t cell;
    std::uint32_t body;
    std::uint32_t primary;  // 1 at the body's own (x, y, z), 0 at −(x, y, z)
    HomVec4 unit;
};

struct Grid {
    double cell_width;
    std::int64_t cells_per_axis;
    std::uint64_t mask;                 // bucket = cell & mask
    std::vector<std::uint32_t> starts;  // entries of bucket b: [starts[b], starts[b + 1])
    std::vector<Entry> entries;

    std::int64_t axisCell(double x) const {
        return std::clamp(static_cast<std::int64_t>(std::floor((x + 1.0) / cell_width)), std::int64_t{0},
                          cells_per_axis - 1);
    }
    std::uint64_t cellId(std::int64_t cx, std::int64_t cy, std::int64_t cz) const {
        const auto n = static_cast<std::uint64_t>(cells_per_axis);
        return (static_cast<std::uint64_t>(cz) * n + static_cast<std::uint64_t>(cy)) * n +
               static_cast<std::uint64_t>(cx);
    }
    // Cells of consecutive x share a bucket's neighbourhood, so a query's cells and the
    // queries of nearby bodies stay close in memory.
    std::size_t bucketOf(std::uint64_t cell) const { return static_cast<std::size_t>(cell & mask); }
};

bool usable(HomVec4 p, double& n) {
    n = p.norm();
    return n >= 1e-100 && n <= 1e100;
}

// The unit representative with w ≥ 0.
HomVec4 canonical(HomVec4 p, double n) {
    const double s = p.w < 0.0 ? -1.0 / n : 1.0 / n;
    return HomVec4::init(p.x * s, p.y * s, p.z * s, p.w * s);
}

Grid buildGrid(const std::vector<HomVec4>& unit, const std::vector<std::uint8_t>& in_grid, double reach) {
    Grid grid;
    grid.cell_width = 2.5 * reach;
    grid.cells_per_axis = static_cast<std::int64_t>(std::ceil(2.0 / grid.cell_width)) + 1;
    std::vector<Entry> keyed;
    keyed.reserve(unit.size() + unit.size() / 8);
    for (std::size_t i = 0; i < unit.size(); ++i) {
        if (in_grid[i] == 0) continue;
        const HomVec4 u = unit[i];
        const auto body = static_cast<std::uint32_t>(i);
        keyed.push_back(
            Entry{grid.cellId(grid.axisCell(u.x), grid.axisCell(u.y), grid.axisCell(u.z)), body, 1, u});
        if (u.w < reach) {
            keyed.push_back(Entry{grid.cellId(grid.axisCell(-u.x), grid.axisCell(-u.y), grid.axisCell(-u.z)),
                                  body, 0, u});
        }
    }
    unsigned bits = 1;
    while ((std::size_t{1} << bits) < 2 * keyed.size() && bits < 30) ++bits;
    grid.mask = (std::uint64_t{1} << bits) - 1;
    const std::size_t buckets = std::size_t{1} << bits;
    grid.starts.assign(buckets + 1, 0);
    for (const Entry& e : keyed) ++grid.starts[grid.bucketOf(e.cell) + 1];
    for (std::size_t b = 0; b < buckets; ++b) grid.starts[b + 1] += grid.starts[b];
    std::vector<std::uint32_t> fill(grid.starts.begin(), grid.starts.end() - 1);
    grid.entries.resize(keyed.size());
    for (const Entry& e : keyed) grid.entries[fill[grid.bucketOf(e.cell)]++] = e;
    return grid;
}

}  // namespace

std::vector<Contact> World::contacts(double threshold) const {
    const State& s = *state_;
    const std::size_t n = s.size();
    std::vector<HomVec4> position(n), unit(n);
    std::vector<std::uint8_t> in_grid(n);
    std::vector<std::size_t> odd;  // bodies tested against all others
    for (std::size_t i = 0; i < n; ++i) {
        position[i] = HomVec4::init(s.qx()[i], s.qy()[i], s.qz()[i], s.qw()[i]);
        double norm = 0.0;
        in_grid[i] = usable(position[i], norm) ? 1 : 0;
        if (in_grid[i] != 0) {
            unit[i] = canonical(position[i], norm);
        } else {
            odd.push_back(i);
        }
    }

    std::vector<Contact> found;
    std::mutex found_mutex;
    const auto test = [&](std::size_t i, std::size_t j, std::vector<Contact>& out) {
        const double d = vorn_kernel::fsDistance(position[i], position[j]);
        // The comparison of checkCollision: a NaN threshold makes every pair a contact.
        if (!(d >= threshold)) out.push_back(Contact{s.ids[i], s.ids[j], d});
    };
    const auto publish = [&](std::vector<Contact>& local) {
        const std::lock_guard<std::mutex> lock(found_mutex);
        found.insert(found.end(), local.begin(), local.end());
    };

    if (!(threshold <= 0.5)) {
        // Wide thresholds (and NaN) leave nothing for a grid to prune.
        s.runParallel(n, [&](std::size_t begin, std::size_t end) {
            std::vector<Contact> local;
            for (std::size_t i = begin; i < end; ++i) {
                for (std::size_t j = i + 1; j < n; ++j) test(i, j, local);
            }
            publish(local);
        });
    } else if (threshold > 0.0) {
        const double half_sin = std::sin(0.5 * threshold);
        const double reach = std::sqrt(4.0 * half_sin * half_sin + 1e-12) + 1e-12;
        const Grid grid = buildGrid(unit, in_grid, reach);
        const double cos_cut = std::cos(threshold) - 1e-12;
        // Queries run in the grid's order, so that consecutive ones look at nearby cells.
        s.runParallel(grid.entries.size(), [&](std::size_t begin, std::size_t end) {
            std::vector<Contact> local;
            for (std::size_t q = begin; q < end; ++q) {
                if (grid.entries[q].primary == 0) continue;
                const std::size_t i = grid.entries[q].body;
                const HomVec4 u = grid.entries[q].unit;
                const double coords[3] = {u.x, u.y, u.z};
                std::int64_t own[3], other[3];
                for (int a = 0; a < 3; ++a) {
                    own[a] = grid.axisCell(coords[a]);
                    const double f = (coords[a] + 1.0) / grid.cell_width - static_cast<double>(own[a]);
                    other[a] = std::clamp(f < 0.5 ? own[a] - 1 : own[a] + 1, std::int64_t{0},
                                          grid.cells_per_axis - 1);
                }
                for (int corner = 0; corner < 8; ++corner) {
                    const std::int64_t cx = (corner & 1) != 0 ? other[0] : own[0];
                    const std::int64_t cy = (corner & 2) != 0 ? other[1] : own[1];
                    const std::int64_t cz = (corner & 4) != 0 ? other[2] : own[2];
                    // A clamped neighbour can equal the own cell: visit each cell once.
                    if (((corner & 1) != 0 && cx == own[0]) || ((corner & 2) != 0 && cy == own[1]) ||
                        ((corner & 4) != 0 && cz == own[2])) {
                        continue;
                    }
                    const std::uint64_t cell = grid.cellId(cx, cy, cz);
                    const std::size_t b = grid.bucketOf(cell);
                    for (std::uint32_t e = grid.starts[b]; e < grid.starts[b + 1]; ++e) {
                        const Entry entry = grid.entries[e];
                        // The unit vectors' dot product screens out far pairs; its margin
                        // is far above the rounding of both it and the exact distance.
                        if (entry.cell != cell || entry.body <= i) continue;
                        if (std::fabs(HomVec4::dot(u, entry.unit)) >= cos_cut) test(i, entry.body, local);
                    }
                }
            }
            publish(local);
        });
        std::vector<Contact> local;
        for (const std::size_t i : odd) {
            for (std::size_t j = 0; j < n; ++j) {
                if (j == i) continue;
                if (in_grid[j] != 0 || j > i) test(std::min(i, j), std::max(i, j), local);
            }
        }
        publish(local);
    }
    // Otherwise no distance is below the threshold.

    std::sort(found.begin(), found.end(),
              [](const Contact& x, const Contact& y) { return x.a != y.a ? x.a < y.a : x.b < y.b; });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const Contact& x, const Contact& y) { return x.a == y.a && x.b == y.b; }),
                found.end());
    return found;
}

void World::resolveContacts(std::span<const Contact> contacts) {
    State& s = *state_;
    for (const Contact& c : contacts) {
        const std::size_t i = s.slotOf(c.a);
        const std::size_t j = s.slotOf(c.b);
        const double inv_i = s.moved[i] != 0 ? 1.0 / s.mass[i] : 0.0;
        const double inv_j = s.moved[j] != 0 ? 1.0 / s.mass[j] : 0.0;
        if (inv_i + inv_j == 0.0) continue;
        const detail::V4<double> qi{s.qx()[i], s.qy()[i], s.qz()[i], s.qw()[i]};
        const detail::V4<double> qj{s.qx()[j], s.qy()[j], s.qz()[j], s.qw()[j]};
        // The unit tangents at each body toward the other; both have length sin d before division.
        const detail::Chord<double> ci = detail::chord(qi, qj);
        const detail::Chord<double> cj = detail::chord(qj, qi);
        const double sin_d = std::sqrt(ci.sin_sq);
        if (!(sin_d > 1e-15)) continue;  // coincident: no normal
        const HomVec4 ni = HomVec4::init(ci.t.x / sin_d, ci.t.y / sin_d, ci.t.z / sin_d, ci.t.w / sin_d);
        const HomVec4 nj = HomVec4::init(cj.t.x / sin_d, cj.t.y / sin_d, cj.t.z / sin_d, cj.t.w / sin_d);
        const HomVec4 vi = HomVec4::init(s.vx()[i], s.vy()[i], s.vz()[i], s.vw()[i]);
        const HomVec4 vj = HomVec4::init(s.vx()[j], s.vy()[j], s.vz()[j], s.vw()[j]);
        // The rate at which the distance shrinks.
        const double approach = HomVec4::dot(vi, ni) + HomVec4::dot(vj, nj);
        if (!(approach > 0.0)) continue;
        const double e = std::min(s.restitution[i], s.restitution[j]);
        const double impulse = (1.0 + e) * approach / (inv_i + inv_j);
        const double ki = impulse * inv_i;
        const double kj = impulse * inv_j;
        s.vx()[i] -= ki * ni.x;
        s.vy()[i] -= ki * ni.y;
        s.vz()[i] -= ki * ni.z;
        s.vw()[i] -= ki * ni.w;
        s.vx()[j] -= kj * nj.x;
        s.vy()[j] -= kj * nj.y;
        s.vz()[j] -= kj * nj.z;
        s.vw()[j] -= kj * nj.w;
    }
}

}  // namespace vorn_world
