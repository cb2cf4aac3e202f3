// Contacts: a grid of cubic cells over the (x, y, z) of each body's unit representative with
// w ≥ 0 (and, near w = 0, its negation), a screen of the pairs in the cells around each query by
// the float dot product, and the exact test of vorn_kernel::fsDistance on every candidate, so
// the set found is the set checkCollision gives. docs/world.md ("Why the contact grid misses
// nothing") has the argument; the margins it rests on are named where they are used. Bodies
// whose position is not of usable length are tested against every other body. The pairs are
// sorted by storage slot, which is id order. The impulses of resolveContacts follow.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

#include "vorn_kernel.hpp"
#include "vorn_math/functions.hpp"
#include "vorn_world.hpp"
#include "vorn_world/chord.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

namespace {

using detail::ContactGrid;
using detail::GridEntry;

using detail::SlotPair;

// Sorts by key: a least-significant-digit radix sort of 11-bit digits over the key's bits in
// use when there are many pairs, std::sort otherwise.
void sortPairs(detail::GridVector<SlotPair>& pairs, detail::GridVector<SlotPair>& other) {
    const auto by_key = [](const SlotPair& x, const SlotPair& y) { return x.key < y.key; };
    if (pairs.size() < 4096) {
        std::sort(pairs.begin(), pairs.end(), by_key);
        return;
    }
    std::uint64_t all = 0;
    for (const SlotPair& p : pairs) all |= p.key;
    other.resize(pairs.size());
    constexpr unsigned digit = 11;
    constexpr std::size_t radix = std::size_t{1} << digit;
    std::array<std::size_t, radix + 1> offset{};  // on the stack: the pass allocates nothing here
    for (unsigned shift = 0; shift < 64 && (all >> shift) != 0; shift += digit) {
        offset.fill(0);
        for (const SlotPair& p : pairs) ++offset[((p.key >> shift) & (radix - 1)) + 1];
        for (std::size_t d = 1; d <= radix; ++d) offset[d] += offset[d - 1];
        for (const SlotPair& p : pairs) other[offset[(p.key >> shift) & (radix - 1)]++] = p;
        pairs.swap(other);
    }
}

// The unit representative with w ≥ 0 (and w = +0 for w = ±0) of a position of usable length,
// else false.
[[gnu::always_inline]] inline bool unitOf(const detail::WorldState& s, std::size_t i, HomVec4& unit) {
    const HomVec4 q = s.position(i);
    const double x = q.x, y = q.y, z = q.z, w = q.w;
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

// Enters every usable body that `admit` takes at u and, when w < R, at −u, sorted by cell with
// one counting sort (stable, so by body within a cell); at most eight cells per body. Unusable
// bodies go to grid.odd.
template <class Admit>
void fillGrid(const detail::WorldState& s, double reach, ContactGrid& grid, const Admit& admit,
              std::size_t admitted) {
    const std::size_t n = s.size();
    detail::Cells& cells = grid.cells;
    cells.half = reach + 1e-6;
    // Cells at least 2·half wide, so that a window meets at most two along each axis, and at
    // most 8n of them (the count's cube root taken in integers, so that every target sizes the
    // grid alike).
    const double by_reach = std::floor(1.0 / cells.half);
    std::uint32_t by_count = 1;
    while (by_count < 1024 &&
           std::uint64_t{by_count + 1} * (by_count + 1) * (by_count + 1) <= 8 * std::uint64_t{admitted})
        ++by_count;
    cells.per_axis =
        static_cast<std::uint32_t>(std::max(1.0, std::min(by_reach, static_cast<double>(by_count))));
    cells.per_unit = static_cast<double>(cells.per_axis) / 2.0;
    const std::size_t cell_count = std::size_t{cells.per_axis} * cells.per_axis * cells.per_axis;

    // The entries in body order with their cells and the cells' counts, then the counts'
    // running sums (the end of each cell), then a backward scatter that leaves starts[c] at
    // the beginning of cell c.
    grid.odd.clear();
    if (grid.staged.size() < 2 * n) grid.staged.resize(2 * n);
    if (grid.cell_of.size() < 2 * n) grid.cell_of.resize(2 * n);
    grid.starts.assign(cell_count + 1, 0);
    std::size_t count = 0;
    const auto stage = [&](const GridEntry& e) {
        const std::uint32_t cell = cells.of(e.x, e.y, e.z);
        grid.staged[count] = e;
        grid.cell_of[count] = cell;
        ++count;
        ++grid.starts[cell];
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (!admit(i)) continue;
        HomVec4 u;
        if (!unitOf(s, i, u)) {
            grid.odd.push_back(i);
            continue;
        }
        stage(entryOf(u.x, u.y, u.z, u.w, i));
        if (u.w < reach) stage(entryOf(-u.x, -u.y, -u.z, -u.w, i));
    }
    for (std::size_t c = 1; c <= cell_count; ++c) grid.starts[c] += grid.starts[c - 1];
    grid.entries.resize(count + ContactGrid::padding);
    for (std::size_t k = count; k < count + ContactGrid::padding; ++k)
        grid.entries[k] = GridEntry{0.0F, 0.0F, 0.0F, 0.0F, 0};
    if (!ContactGrid::large(count)) {
        grid.positions.clear();
        for (std::size_t k = count; k-- > 0;) grid.entries[--grid.starts[grid.cell_of[k]]] = grid.staged[k];
        return;
    }
    grid.positions.resize(count);
    const detail::ConstColumns q = s.positions();
    for (std::size_t k = count; k-- > 0;) {
        const std::uint32_t to = --grid.starts[grid.cell_of[k]];
        const std::uint32_t body = grid.staged[k].body;
        grid.entries[to] = grid.staged[k];
        grid.positions[to] = detail::Vec4<double>{q.x[body], q.y[body], q.z[body], q.w[body]};
    }
}

// The pairs of entries (query, other) that pass the screen, gathered without a call in the
// screening loop: each pair is written to the next slot whether it passes or not, and counted
// only when it does. On the stack: a pass allocates nothing for it.
struct Candidates {
    static constexpr std::size_t capacity = 1024;
    std::array<std::uint32_t, capacity> query;
    std::array<std::uint32_t, capacity> other;
    std::size_t count = 0;
};

// Writes the pair of the query q and entry e into the next slot of `found` and returns the count
// with it counted where it passes the screen (and lies in its run): no branch.
[[gnu::always_inline]] inline std::size_t offer(Candidates& found, std::size_t count, const GridEntry& query,
                                                std::uint32_t q, const GridEntry* entries, std::uint32_t e,
                                                float screen, bool in_run) {
    const GridEntry& other = entries[e];
    const float dot = ((query.x * other.x + query.y * other.y) + query.z * other.z) + query.w * other.w;
    found.query[count] = q;
    found.other[count] = e;
    return count +
           static_cast<std::size_t>(static_cast<int>(in_run) & static_cast<int>(std::fabs(dot) >= screen) &
                                    static_cast<int>(other.body > query.body));
}

// Calls flush(candidates) with the entries of every pair of bodies i < j that pass the screen,
// for the queries (the entries u, not −u) among entries [begin, end), a buffer at a time.
// Queries run in cell order, so that consecutive ones look at the same cells. The first
// fixed_slots entries of each run are read without a branch (most runs are no longer, and the
// entries array ends in padding that never passes); the rest in blocks that cannot overflow
// the buffer even if every entry passed.
template <std::uint32_t fixed_slots, class Flush>
void screenPairs(const ContactGrid& grid, double cos_screen, std::size_t begin, std::size_t end,
                 Flush&& flush) {
    const detail::Cells cells = grid.cells;
    const GridEntry* const entries = grid.entries.data();
    const std::uint32_t* const starts = grid.starts.data();
    const auto screen = static_cast<float>(cos_screen);
    static_assert(ContactGrid::padding >= fixed_slots);
    Candidates found;
    for (std::size_t q = begin; q < end; ++q) {
        if (std::signbit(entries[q].w)) continue;
        const GridEntry query = entries[q];
        const auto query_index = static_cast<std::uint32_t>(q);
        const detail::CellSpan x = cells.span(query.x);
        const detail::CellSpan y = cells.span(query.y);
        const detail::CellSpan z = cells.span(query.z);
        for (std::uint32_t rz = z.first; rz <= z.last; ++rz) {
            for (std::uint32_t ry = y.first; ry <= y.last; ++ry) {
                const std::uint32_t row = (rz * cells.per_axis + ry) * cells.per_axis;
                const std::uint32_t run_begin = starts[row + x.first];
                const std::uint32_t run_end = starts[row + x.last + 1];
                if (found.count + fixed_slots > Candidates::capacity) {
                    flush(found);
                    found.count = 0;
                }
                std::size_t count = found.count;
                for (std::uint32_t t = 0; t < fixed_slots; ++t) {
                    const std::uint32_t e = run_begin + t;
                    count = offer(found, count, query, query_index, entries, e, screen, e < run_end);
                }
                found.count = count;
                for (std::uint32_t e = run_begin + fixed_slots; e < run_end;) {
                    if (found.count == Candidates::capacity) {
                        flush(found);
                        found.count = 0;
                    }
                    const auto block_end = static_cast<std::uint32_t>(
                        std::min<std::size_t>(run_end, e + (Candidates::capacity - found.count)));
                    std::size_t count = found.count;
                    for (; e < block_end; ++e)
                        count = offer(found, count, query, query_index, entries, e, screen, true);
                    found.count = count;
                }
            }
        }
    }
    flush(found);
}

// Appends to grid.pairs, keyed by storage slots (slot_bits as in SlotPair), every pair of
// bodies i < j that `admit` takes both of and whose distance d = fsDistance(p_i, p_j) `accept`
// takes, where `accept` takes no d at or above `threshold`, which sets the grid's reach:
// thresholds above 0.5, and NaN, test all pairs; at or below 0, none. `admitted` is the number
// of bodies `admit` takes (it sizes the grid's cells).
template <class Admit, class Accept>
void collectPairs(const detail::WorldState& s, double threshold, unsigned slot_bits, const Admit& admit,
                  std::size_t admitted, const Accept& accept) {
    const std::size_t n = s.size();
    const auto position = [&s](std::size_t i) { return s.position(i); };
    ContactGrid& grid = s.contact_grid;
    detail::GridVector<SlotPair>& found = grid.pairs;
    std::mutex found_mutex;
    const auto test = [&accept, slot_bits](std::size_t i, std::size_t j, HomVec4 p_i, HomVec4 p_j,
                                           std::vector<SlotPair>& out) {
        const double d = vorn_kernel::fsDistance(p_i, p_j);
        if (accept(i, j, d)) out.push_back(SlotPair{(std::uint64_t{i} << slot_bits) | j, d});
    };
    const auto publish = [&](std::vector<SlotPair>& local) {
        const std::lock_guard<std::mutex> lock(found_mutex);
        found.insert(found.end(), local.begin(), local.end());
    };

    if (!(threshold <= 0.5)) {
        // Wide thresholds (and NaN) leave nothing for a grid to prune.
        s.runParallel(n, [&](std::size_t begin, std::size_t end) {
            std::vector<SlotPair> local;
            for (std::size_t i = begin; i < end; ++i) {
                if (!admit(i)) continue;
                for (std::size_t j = i + 1; j < n; ++j) {
                    if (admit(j)) test(i, j, position(i), position(j), local);
                }
            }
            publish(local);
        });
    } else if (threshold > 0.0) {
        const double half_sin = vorn::elementary::sin(0.5 * threshold);
        const double reach = std::sqrt(4.0 * half_sin * half_sin + 1e-12) + 1e-12;
        fillGrid(s, reach, grid, admit, admitted);
        const double cos_screen = vorn::elementary::cos(threshold) - 2e-6;
        s.runParallel(grid.entries.size() - ContactGrid::padding, [&](std::size_t begin, std::size_t end) {
            // In a large grid the tests read the positions copied in entry order, near one
            // another, not the World's columns; each buffer's contacts are published at once.
            const bool large = ContactGrid::large(grid.entries.size() - ContactGrid::padding);
            const bool dense = grid.dense(grid.entries.size() - ContactGrid::padding);
            std::vector<SlotPair> local;
            const auto flush = [&](const Candidates& candidates) {
                local.clear();
                for (std::size_t k = 0; k < candidates.count; ++k) {
                    const std::uint32_t q = candidates.query[k];
                    const std::uint32_t e = candidates.other[k];
                    const std::uint32_t i = grid.entries[q].body;
                    const std::uint32_t j = grid.entries[e].body;
                    if (large) {
                        const detail::Vec4<double>& a = grid.positions[q];
                        const detail::Vec4<double>& b = grid.positions[e];
                        test(i, j, HomVec4::init(a.x, a.y, a.z, a.w), HomVec4::init(b.x, b.y, b.z, b.w),
                             local);
                    } else {
                        test(i, j, position(i), position(j), local);
                    }
                }
                if (!local.empty()) publish(local);
            };
            // Small grids keep the plain loop: there the fixed reads cost more than the branches
            // they save. Dense grids, whose runs are longer, read more of each run without a
            // branch.
            if (dense) {
                screenPairs<ContactGrid::padding>(grid, cos_screen, begin, end, flush);
            } else if (large) {
                screenPairs<2>(grid, cos_screen, begin, end, flush);
            } else {
                screenPairs<0>(grid, cos_screen, begin, end, flush);
            }
        });
        std::vector<SlotPair> local;
        const std::vector<std::size_t>& odd = grid.odd;  // tested against every other admitted body
        std::vector<std::uint8_t> is_odd(odd.empty() ? 0 : n, 0);
        for (const std::size_t i : odd) is_odd[i] = 1;
        for (const std::size_t i : odd) {
            for (std::size_t j = 0; j < n; ++j) {
                if (j == i || !admit(j)) continue;
                const std::size_t lo = std::min(i, j);
                const std::size_t hi = std::max(i, j);
                if (is_odd[j] == 0 || j > i) test(lo, hi, position(lo), position(hi), local);
            }
        }
        publish(local);
    }
    // Otherwise no distance is below the threshold.
}

// grid.pairs sorted by (i, j), each pair once, as contacts between ids.
std::vector<Contact> sortedContacts(const detail::WorldState& s, unsigned slot_bits) {
    ContactGrid& grid = s.contact_grid;
    detail::GridVector<SlotPair>& found = grid.pairs;
    const std::uint64_t slot_mask = (std::uint64_t{1} << slot_bits) - 1;
    sortPairs(found, grid.sorting);
    std::vector<Contact> contacts;
    contacts.reserve(found.size());
    for (std::size_t k = 0; k < found.size(); ++k) {
        if (k > 0 && found[k].key == found[k - 1].key) continue;  // found twice (u and −u)
        contacts.push_back(
            Contact{s.ids[found[k].key >> slot_bits], s.ids[found[k].key & slot_mask], found[k].distance});
    }
    return contacts;
}

// The touching pass's plan. A grid's cells are as wide as its largest sum of radii, so a few
// large bodies among many small ones would make every query read most of the grid: bodies of
// radius at least `alone_from` are instead each tested against every other body of positive
// radius, and the grid, of threshold `grid_threshold` (the largest sum of two radii below
// alone_from), holds the rest. alone_from is chosen among the powers of two by a model of the
// cost: screened grid candidates and pairs tested alone, in units of one screened candidate.
struct TouchPlan {
    double alone_from = std::numeric_limits<double>::infinity();
    double grid_threshold = 0.0;
    std::size_t in_grid = 0;  // bodies of positive radius below alone_from
};

TouchPlan planTouching(const detail::WorldState& s) {
    // Radii by binade: bucket b holds [2^-b, 2^(1-b)) (b = 0 up to π/2; the last bucket everything
    // below 2^-62), with its count and its two largest radii.
    constexpr int buckets = 64;
    struct Bucket {
        std::size_t count = 0;
        double first = 0.0, second = 0.0;
    };
    std::array<Bucket, buckets + 1> by_size{};  // by_size[buckets] stays empty
    std::size_t touchable = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double r = s.radius[i];
        if (!(r > 0.0)) continue;
        ++touchable;
        Bucket& bucket = by_size[static_cast<std::size_t>(std::min(-std::ilogb(r), buckets - 1))];
        ++bucket.count;
        if (r > bucket.first) {
            bucket.second = bucket.first;
            bucket.first = r;
        } else if (r > bucket.second) {
            bucket.second = r;
        }
    }
    // Going from the smallest bucket up: the two largest radii of buckets cut and above, and the
    // count of the buckets below cut (tested alone when the cut is there).
    std::array<Bucket, buckets + 1> below{};  // below[cut]: buckets cut.. (the grid's bodies)
    for (int b = buckets - 1; b >= 0; --b) {
        const Bucket& own = by_size[static_cast<std::size_t>(b)];
        const Bucket& rest = below[static_cast<std::size_t>(b) + 1];
        Bucket& both = below[static_cast<std::size_t>(b)];
        both.count = own.count + rest.count;
        both.first = own.count > 0 ? own.first : rest.first;
        both.second = own.count > 1 ? own.second : own.count == 1 ? rest.first : rest.second;
    }
    const auto k = static_cast<double>(touchable);
    const auto cost = [k](const Bucket& grid) {
        const auto in_grid = static_cast<double>(grid.count);
        const double alone = (k - in_grid) * k * 4.0;  // a double-precision screen per pair
        if (grid.count < 2) return alone;
        const double threshold = grid.first + grid.second;
        if (threshold > 0.5) return alone + 10.0 * in_grid * in_grid;  // all pairs, each tested
        return alone + in_grid * (10.0 + 15.0 * in_grid * threshold * threshold * threshold);
    };
    int best = 0;
    double best_cost = cost(below[0]);
    for (int cut = 1; cut <= buckets; ++cut) {
        if (by_size[static_cast<std::size_t>(cut) - 1].count == 0) continue;
        const double c = cost(below[static_cast<std::size_t>(cut)]);
        if (c < best_cost) {
            best = cut;
            best_cost = c;
        }
    }
    const Bucket& grid = below[static_cast<std::size_t>(best)];
    TouchPlan plan;
    if (best == buckets) {
        plan.alone_from = std::numeric_limits<double>::denorm_min();
    } else if (best > 0) {
        plan.alone_from = std::ldexp(1.0, 1 - best);
    }
    plan.grid_threshold = grid.count >= 2 ? grid.first + grid.second : 0.0;
    plan.in_grid = grid.count;
    return plan;
}

// Appends to grid.pairs every touching pair with a body of radius at least alone_from, each
// such body tested against every other body of positive radius (another such body only when
// later). A pair is screened out only when |q_i·q_j| < (cos(r_i + r_max) − 10⁻⁶)·|q_i|·|q_j|,
// r_max the largest radius: its distance is then above r_i + r_max by far more than any
// rounding (arc cosine falls by at least as much as its argument grows).
void collectAlone(const detail::WorldState& s, double alone_from, unsigned slot_bits) {
    const std::size_t n = s.size();
    std::vector<std::size_t> alone;
    double largest = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (s.radius[i] >= alone_from) alone.push_back(i);
        largest = std::max(largest, s.radius[i]);
    }
    if (alone.empty()) return;
    std::mutex found_mutex;
    s.runParallel(alone.size(), [&](std::size_t begin, std::size_t end) {
        std::vector<SlotPair> local;
        for (std::size_t k = begin; k < end; ++k) {
            const std::size_t i = alone[k];
            const HomVec4 p = s.position(i);
            const double cut = vorn::elementary::cos(s.radius[i] + largest) - 1e-6;
            const double cut_sq = cut > 0.0 ? cut * cut * HomVec4::dot(p, p) : 0.0;
            for (std::size_t j = 0; j < n; ++j) {
                const double r = s.radius[j];
                if (j == i || !(r > 0.0) || (r >= alone_from && j < i)) continue;
                const HomVec4 other = s.position(j);
                const double along = HomVec4::dot(p, other);
                if (along * along < cut_sq * HomVec4::dot(other, other)) continue;
                const std::size_t lo = std::min(i, j);
                const std::size_t hi = std::max(i, j);
                const double d = vorn_kernel::fsDistance(s.position(lo), s.position(hi));
                if (d < s.radius[lo] + s.radius[hi])
                    local.push_back(SlotPair{(std::uint64_t{lo} << slot_bits) | hi, d});
            }
        }
        const std::lock_guard<std::mutex> lock(found_mutex);
        s.contact_grid.pairs.insert(s.contact_grid.pairs.end(), local.begin(), local.end());
    });
}

}  // namespace

std::vector<Contact> World::contacts(double threshold) const {
    const detail::WorldState& s = *state_;
    // Pairs of storage slots, found in any order and sorted by (i, j) at the end; kept with the
    // grid, so that a steady state does not allocate them.
    s.contact_grid.pairs.clear();
    const auto slot_bits = static_cast<unsigned>(std::bit_width(s.size()));
    // The comparison of checkCollision: a NaN threshold makes every pair a contact.
    collectPairs(
        s, threshold, slot_bits, [](std::size_t /*i*/) { return true; }, s.size(),
        [threshold](std::size_t /*i*/, std::size_t /*j*/, double d) { return !(d >= threshold); });
    return sortedContacts(s, slot_bits);
}

std::vector<Contact> World::touchingContacts() const {
    const detail::WorldState& s = *state_;
    s.contact_grid.pairs.clear();
    const auto slot_bits = static_cast<unsigned>(std::bit_width(s.size()));
    const TouchPlan plan = planTouching(s);
    const std::vector<double>& radius = s.radius;
    collectPairs(
        s, plan.grid_threshold, slot_bits,
        [&radius, &plan](std::size_t i) { return radius[i] > 0.0 && radius[i] < plan.alone_from; },
        plan.in_grid,
        [&radius](std::size_t i, std::size_t j, double d) { return d < radius[i] + radius[j]; });
    collectAlone(s, plan.alone_from, slot_bits);
    return sortedContacts(s, slot_bits);
}

void World::resolveContacts(std::span<const Contact> contacts) {
    detail::WorldState& s = *state_;
    for (const Contact& c : contacts) {
        static_cast<void>(s.slotOf(c.a));  // every id known before any impulse
        static_cast<void>(s.slotOf(c.b));
    }
    ++s.revision;
    for (const Contact& c : contacts) {
        const std::size_t i = s.slotOf(c.a);
        const std::size_t j = s.slotOf(c.b);
        // A test particle pushes nothing: the other body takes no impulse, and the test particle
        // (when moved) is turned back as by a body of infinite mass, whatever its own mass.
        const bool with_test = s.test[i] != 0 || s.test[j] != 0;
        const bool test_takes_i = s.moved[i] != 0 && s.test[i] != 0 && s.test[j] == 0;
        const bool test_takes_j = s.moved[j] != 0 && s.test[j] != 0 && s.test[i] == 0;
        const double inv_i = with_test ? (test_takes_i ? 1.0 : 0.0) : s.moved[i] != 0 ? 1.0 / s.mass[i] : 0.0;
        const double inv_j = with_test ? (test_takes_j ? 1.0 : 0.0) : s.moved[j] != 0 ? 1.0 / s.mass[j] : 0.0;
        if (inv_i + inv_j == 0.0) continue;
        const HomVec4 qi = s.position(i);
        const HomVec4 qj = s.position(j);
        // The unit tangents at each body toward the other; both have length sin d before division.
        const detail::Chord<double> ci = detail::chord(detail::vec4(qi), detail::vec4(qj));
        const detail::Chord<double> cj = detail::chord(detail::vec4(qj), detail::vec4(qi));
        const double sin_d = std::sqrt(ci.sin_sq);
        if (!(sin_d > 1e-15)) continue;  // coincident: no normal
        const HomVec4 ni = HomVec4::init(ci.t.x / sin_d, ci.t.y / sin_d, ci.t.z / sin_d, ci.t.w / sin_d);
        const HomVec4 nj = HomVec4::init(cj.t.x / sin_d, cj.t.y / sin_d, cj.t.z / sin_d, cj.t.w / sin_d);
        const HomVec4 vi = s.velocity(i);
        const HomVec4 vj = s.velocity(j);
        // The rate at which the distance shrinks.
        const double approach = HomVec4::dot(vi, ni) + HomVec4::dot(vj, nj);
        if (!(approach > 0.0)) continue;
        const double e = std::min(s.restitution[i], s.restitution[j]);
        const double impulse = (1.0 + e) * approach / (inv_i + inv_j);
        const double ki = impulse * inv_i;
        const double kj = impulse * inv_j;
        // The normals' own radial parts, (|q|² − 1)/sin d, grow as the bodies meet: what they
        // leave in a velocity beyond rounding is removed.
        const HomVec4 new_vi = detail::tangentAt(
            qi, HomVec4::init(vi.x - ki * ni.x, vi.y - ki * ni.y, vi.z - ki * ni.z, vi.w - ki * ni.w));
        const HomVec4 new_vj = detail::tangentAt(
            qj, HomVec4::init(vj.x - kj * nj.x, vj.y - kj * nj.y, vj.z - kj * nj.z, vj.w - kj * nj.w));
        const detail::Columns v = s.velocities();
        for (const auto& [slot, value] : {std::pair{i, new_vi}, std::pair{j, new_vj}}) {
            v.x[slot] = value.x;
            v.y[slot] = value.y;
            v.z[slot] = value.z;
            v.w[slot] = value.w;
        }
    }
}

}  // namespace vorn_world
