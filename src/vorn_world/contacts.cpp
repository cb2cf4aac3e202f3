// Contacts: a grid of cubic cells over the (x, y, z) of each body's unit representative with
// w ≥ 0, a screen by the unit vectors' dot product, and the exact test of vorn_kernel::fsDistance
// on every candidate, so the set found is the set checkCollision gives.
//
// Why the grid misses nothing: if fsDistance(p_i, p_j) < θ then, for the unit representatives
// u_i, u_j with w ≥ 0, either |u_i − u_j| < R or |u_i + u_j| < R, where R slightly exceeds the
// chord 2·sin(θ/2) (its margin covers the rounding of the computed distance). Distances in
// (x, y, z) are at most those in R⁴. The first case is found at u_j's own entry; in the second,
// w_i + w_j < R, so w_j < R, and such bodies are also entered as −u_j. The grid holds the
// coordinates rounded to float, which moves each by at most 6e-8: cells are at least
// 2·(R + 1e-6) wide, so every entry within R of a query (before rounding) lies in the query's
// own cell or, along each axis, the neighbour on the nearer side; and the screen's cut is
// lowered by 2e-6, far above the rounding of the float dot product. Bodies whose position is
// not of usable length (squared length below 1e-200, above 1e200 or not finite) are tested
// against every other body.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "vorn_kernel.hpp"
#include "vorn_world.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

namespace {

using detail::ContactGrid;
using detail::GridEntry;

// The unit representative with w ≥ 0 (and w = +0 for w = ±0) of a position of usable length,
// else false.
bool unitOf(const World::State& s, std::size_t i, HomVec4& unit) {
    const double x = s.qx()[i], y = s.qy()[i], z = s.qz()[i], w = s.qw()[i];
    const double length_sq = ((x * x + y * y) + z * z) + w * w;
    if (!(length_sq >= 1e-200 && length_sq <= 1e200)) return false;
    const double scale = (std::signbit(w) ? -1.0 : 1.0) / std::sqrt(length_sq);
    unit = HomVec4::init(x * scale, y * scale, z * scale, w * scale);
    return true;
}

GridEntry entryOf(double x, double y, double z, double w, std::size_t body) {
    return GridEntry{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),
                     static_cast<float>(w), static_cast<std::uint32_t>(body)};
}

// Enters every usable body at u and, when w < R, at −u, sorted by cell with one counting sort
// (stable, so by body within a cell); at most eight cells per entry. Unusable bodies go to
// grid.odd.
void fillGrid(const World::State& s, double reach, ContactGrid& grid) {
    grid.odd.clear();
    if (grid.staged.size() < 2 * s.size()) grid.staged.resize(2 * s.size());
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        HomVec4 u;
        if (!unitOf(s, i, u)) {
            grid.odd.push_back(i);
            continue;
        }
        grid.staged[count++] = entryOf(u.x, u.y, u.z, u.w, i);
        if (u.w < reach) grid.staged[count++] = entryOf(-u.x, -u.y, -u.z, -u.w, i);
    }
    const double by_reach = std::floor(1.0 / (reach + 1e-6));
    const double by_count = std::floor(std::cbrt(8.0 * static_cast<double>(count)));
    grid.cells.per_axis = static_cast<std::uint32_t>(std::max(1.0, std::min({by_reach, by_count, 1024.0})));
    grid.cells.per_unit = static_cast<double>(grid.cells.per_axis) / 2.0;
    const std::size_t cell_count =
        std::size_t{grid.cells.per_axis} * grid.cells.per_axis * grid.cells.per_axis;

    // Counts, then their running sums (the end of each cell), then a backward scatter that
    // leaves starts[c] at the beginning of cell c.
    grid.starts.assign(cell_count + 1, 0);
    grid.cell_of.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        const GridEntry& e = grid.staged[k];
        grid.cell_of[k] = grid.cells.of(e.x, e.y, e.z);
        ++grid.starts[grid.cell_of[k]];
    }
    for (std::size_t c = 1; c <= cell_count; ++c) grid.starts[c] += grid.starts[c - 1];
    grid.entries.resize(count);
    for (std::size_t k = count; k-- > 0;) grid.entries[--grid.starts[grid.cell_of[k]]] = grid.staged[k];
}

// Calls candidate(i, j) for every pair i < j whose entries pass the screen, for the queries
// (the entries u, not −u) among entries [begin, end). Queries run in cell order, so that
// consecutive ones look at the same cells.
template <class Candidate>
void screenPairs(const ContactGrid& grid, double cos_screen, std::size_t begin, std::size_t end,
                 Candidate&& candidate) {
    const detail::Cells cells = grid.cells;
    const GridEntry* const entries = grid.entries.data();
    const std::uint32_t* const starts = grid.starts.data();
    const auto screen = static_cast<float>(cos_screen);
    for (std::size_t q = begin; q < end; ++q) {
        const GridEntry query = entries[q];
        if (std::signbit(query.w)) continue;
        const detail::CellSpan x = cells.span(query.x);
        const detail::CellSpan y = cells.span(query.y);
        const detail::CellSpan z = cells.span(query.z);
        for (std::uint32_t rz = z.first; rz <= z.last; ++rz) {
            for (std::uint32_t ry = y.first; ry <= y.last; ++ry) {
                const std::uint32_t row = (rz * cells.per_axis + ry) * cells.per_axis;
                const GridEntry* const run_end = entries + starts[row + x.last + 1];
                for (const GridEntry* e = entries + starts[row + x.first]; e < run_end; ++e) {
                    const float dot = ((query.x * e->x + query.y * e->y) + query.z * e->z) + query.w * e->w;
                    // One branch, rarely taken (the query meets itself in its own cell).
                    if (static_cast<int>(std::fabs(dot) >= screen) & static_cast<int>(e->body > query.body)) {
                        candidate(query.body, e->body);
                    }
                }
            }
        }
    }
}

}  // namespace

std::vector<Contact> World::contacts(double threshold) const {
    const State& s = *state_;
    const std::size_t n = s.size();
    const auto position = [&s](std::size_t i) {
        return HomVec4::init(s.qx()[i], s.qy()[i], s.qz()[i], s.qw()[i]);
    };

    std::vector<Contact> found;
    std::mutex found_mutex;
    const auto test = [&](std::size_t i, std::size_t j, std::vector<Contact>& out) {
        const double d = vorn_kernel::fsDistance(position(i), position(j));
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
        ContactGrid& grid = s.contact_grid;
        fillGrid(s, reach, grid);
        const double cos_screen = std::cos(threshold) - 2e-6;
        s.runParallel(grid.entries.size(), [&](std::size_t begin, std::size_t end) {
            // Candidates first, exact tests after: the screening loop stays small.
            std::vector<std::pair<std::uint32_t, std::uint32_t>> candidates;
            screenPairs(grid, cos_screen, begin, end,
                        [&candidates](std::uint32_t i, std::uint32_t j) { candidates.emplace_back(i, j); });
            std::vector<Contact> local;
            for (const auto& [i, j] : candidates) test(i, j, local);
            publish(local);
        });
        std::vector<Contact> local;
        const std::vector<std::size_t>& odd = grid.odd;  // tested against every other body
        std::vector<std::uint8_t> is_odd(odd.empty() ? 0 : n, 0);
        for (const std::size_t i : odd) is_odd[i] = 1;
        for (const std::size_t i : odd) {
            for (std::size_t j = 0; j < n; ++j) {
                if (j == i) continue;
                if (is_odd[j] == 0 || j > i) test(std::min(i, j), std::max(i, j), local);
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
