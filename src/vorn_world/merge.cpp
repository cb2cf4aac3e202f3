// Mergers: two touching moved bodies become one that keeps their mass, their angular-momentum
// bivector (the part one point cannot carry going into its spin) and the total volume of their
// balls. Everything is worked out before the World changes, so that a refused call leaves it as
// it was; docs/world.md ("Merging") has the choices and what is conserved.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "vorn_kernel.hpp"
#include "vorn_world.hpp"
#include "vorn_world/double_double.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

namespace {

using detail::DD;
using detail::exactProduct;

// A body as the mergers of one call see it.
struct Merging {
    HomVec4 q, v, f;
    double mass, radius;
    Bivector spin;
};

Merging mergingOf(const detail::WorldState& s, std::size_t slot) {
    // A force on a body that takes none (a massless test particle) acts on nothing; it is dropped.
    const HomVec4 f = s.force_scale[slot] != 0.0
                          ? HomVec4::init(s.fx[slot], s.fy[slot], s.fz[slot], s.fw[slot])
                          : HomVec4::zero();
    return {s.position(slot), s.velocity(slot), f, s.mass[slot], s.radius[slot], s.spinOf(slot)};
}

// The bivector as a 4×4 antisymmetric matrix, L[i][j] = −L[j][i] (x, y, z, w = 0..3), in
// double-double arithmetic.
using Matrix = std::array<std::array<DD, 4>, 4>;

std::array<double, 4> componentsOf(HomVec4 v) { return {v.x, v.y, v.z, v.w}; }

// Adds m·(q_i·v_j − q_j·v_i) to L for i < j, to a few units in 2^-104.
void addMoment(Matrix& L, double m, HomVec4 q, HomVec4 v) {
    const std::array<double, 4> a = componentsOf(q);
    const std::array<double, 4> b = componentsOf(v);
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = i + 1; j < 4; ++j) {
            L[i][j] = L[i][j] + m * (exactProduct(a[i], b[j]) - exactProduct(a[j], b[i]));
        }
    }
}

void addSpin(Matrix& L, const Bivector& s) {
    const std::array<double, 6> parts = {s.xy, s.xz, s.xw, s.yz, s.yw, s.zw};
    std::size_t k = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = i + 1; j < 4; ++j) L[i][j] = L[i][j] + DD{parts[k++], 0.0};
    }
}

Bivector bivectorOf(const Matrix& L) {
    return {L[0][1].hi, L[0][2].hi, L[0][3].hi, L[1][2].hi, L[1][3].hi, L[2][3].hi};
}

// x − sin x = x³·p(x²) for 0 ≤ x ≤ π, p(y) = Σ_k (−y)^k / (2k + 3)! (16 terms: the first left
// out is below 2^-60 of the sum at y = π²); no C library function, so the same bits everywhere.
double volumeSeries(double y) {
    constexpr int terms = 16;
    constexpr std::array<double, terms> coefficients = [] {
        std::array<double, terms> c{};
        double factorial = 6.0;  // 3!
        for (int k = 0; k < terms; ++k) {
            c[static_cast<std::size_t>(k)] = 1.0 / factorial;
            factorial *= static_cast<double>((2 * k + 4) * (2 * k + 5));
        }
        return c;
    }();
    double sum = coefficients[terms - 1];
    for (int k = terms - 2; k >= 0; --k) sum = coefficients[static_cast<std::size_t>(k)] - y * sum;
    return sum;
}

// The radius of the ball whose volume is the sum of the two balls' (a ball of radius r has the
// volume π·(2r − sin 2r), about 4/3·π·r³ while r is small): found by bisection, in units of the
// larger ball's, between the larger radius and twice it (or π/2, the whole space).
double mergedRadius(double r_a, double r_b) {
    const double large = std::max(r_a, r_b);
    const double small = std::min(r_a, r_b);
    if (!(small > 0.0)) return large;
    const double x_large = 2.0 * large;
    // The volume of the ball of diameter-angle x, divided by π·x_large³.
    const auto volume = [x_large](double x) {
        const double ratio = x / x_large;
        return ratio * ratio * ratio * volumeSeries(x * x);
    };
    const double target = volume(x_large) + volume(2.0 * small);
    constexpr double pi = 3.141592653589793;
    double low = x_large;
    double high = std::min(2.0 * x_large, pi);
    if (volume(high) <= target) return 0.5 * high;
    for (int i = 0; i < 200; ++i) {
        const double middle = 0.5 * (low + high);
        if (middle <= low || middle >= high) break;
        (volume(middle) < target ? low : high) = middle;
    }
    return 0.5 * high;
}

[[noreturn]] void refuseMerger(const detail::WorldState& s, std::size_t a, std::size_t b, const char* what) {
    throw std::invalid_argument("vorn_world: merging bodies " + std::to_string(s.ids[a]) + " and " +
                                std::to_string(s.ids[b]) + " would give a " + what +
                                " that is not finite or exceeds MAX_MAGNITUDE; no body merged");
}

bool withinMagnitude(double x) { return std::fabs(x) <= MAX_MAGNITUDE; }  // false for NaN
bool withinMagnitude(HomVec4 v) {
    return withinMagnitude(v.x) && withinMagnitude(v.y) && withinMagnitude(v.z) && withinMagnitude(v.w);
}

// The body that `kept` (slot) and `absorbed` become. Throws std::invalid_argument when a
// value falls outside what the World accepts.
Merging merged(const detail::WorldState& s, std::size_t kept, const Merging& a, std::size_t absorbed,
               const Merging& b) {
    // The absorbed body's representative on the kept one's side (q∧v is the same for both).
    const double side = HomVec4::dot(a.q, b.q) < 0.0 ? -1.0 : 1.0;
    const HomVec4 qb = HomVec4::init(side * b.q.x, side * b.q.y, side * b.q.z, side * b.q.w);
    Merging m;
    m.mass = a.mass + b.mass;
    // The two representatives are at most π/2 apart, so the mean is at least the larger mass
    // from the origin.
    m.q = HomVec4::init(a.mass * a.q.x + b.mass * qb.x, a.mass * a.q.y + b.mass * qb.y,
                        a.mass * a.q.z + b.mass * qb.z, a.mass * a.q.w + b.mass * qb.w)
              .normalize();
    m.f =
        HomVec4::init(a.f.x + side * b.f.x, a.f.y + side * b.f.y, a.f.z + side * b.f.z, a.f.w + side * b.f.w);
    m.radius = mergedRadius(a.radius, b.radius);

    Matrix L{};
    addMoment(L, a.mass, a.q, a.v);
    addMoment(L, b.mass, b.q, b.v);
    addSpin(L, a.spin);
    addSpin(L, b.spin);
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = 0; j < i; ++j) L[i][j] = -L[j][i];
    }
    // v = −(L⌋q)/M: component i is −Σ_j L_ij·q_j / M. For a single body L = m·q∧v gives back v;
    // w·q = 0 in exact arithmetic, L being antisymmetric.
    const std::array<double, 4> q = componentsOf(m.q);
    std::array<double, 4> v{};
    for (std::size_t i = 0; i < 4; ++i) {
        DD w{};
        for (std::size_t j = 0; j < 4; ++j) {
            if (j != i) w = w - L[i][j] * DD{q[j], 0.0};
        }
        v[i] = (w / DD{m.mass, 0.0}).hi;
    }
    m.v = HomVec4::init(v[0], v[1], v[2], v[3]);
    // The spin: what remains of L beside M·q∧v of the stored q and v.
    Matrix spin = L;
    addMoment(spin, -m.mass, m.q, m.v);
    m.spin = bivectorOf(spin);

    if (!withinMagnitude(m.mass)) refuseMerger(s, kept, absorbed, "mass");
    if (!withinMagnitude(m.v)) refuseMerger(s, kept, absorbed, "velocity");
    if (!withinMagnitude(m.f)) refuseMerger(s, kept, absorbed, "force");
    const Bivector& r = m.spin;
    if (!std::isfinite(r.xy + r.xz + r.xw + r.yz + r.yw + r.zw)) refuseMerger(s, kept, absorbed, "spin");
    return m;
}

}  // namespace

Bivector World::spin(BodyId id) const { return state_->spinOf(state_->slotOf(id)); }

std::vector<Merger> World::mergeContacts(std::span<const Contact> contacts) {
    detail::WorldState& s = *state_;
    std::vector<std::pair<std::size_t, std::size_t>> slots;
    slots.reserve(contacts.size());
    for (const Contact& c : contacts) slots.emplace_back(s.slotOf(c.a), s.slotOf(c.b));  // every id known
    if (contacts.empty()) return {};

    // The mergers, worked out on the side: the bodies already merged in this call, and for each
    // absorbed body the body that absorbed it.
    const std::size_t n = s.size();
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> absorbed_by(n, none);
    std::vector<std::size_t> merged_index(n, none);
    std::vector<std::pair<std::size_t, Merging>> bodies;  // (slot, body) of the kept bodies
    std::vector<Merger> mergers;
    const auto current = [&](std::size_t slot) {
        return merged_index[slot] != none ? bodies[merged_index[slot]].second : mergingOf(s, slot);
    };
    // The body that absorbed the slot's, through any chain (shortened on the way, so that long
    // chains cost no more than short ones).
    const auto absorber = [&](std::size_t slot) {
        std::size_t root = slot;
        while (absorbed_by[root] != none) root = absorbed_by[root];
        while (absorbed_by[slot] != none) slot = std::exchange(absorbed_by[slot], root);
        return root;
    };
    for (auto [i, j] : slots) {
        i = absorber(i);
        j = absorber(j);
        if (i == j || s.moved[i] == 0 || s.moved[j] == 0 || (s.test[i] != 0 && s.test[j] != 0)) continue;
        if (s.mass[i] < 0.0 || s.mass[j] < 0.0) continue;  // only a test particle can be moved so
        const Merging a = current(i);
        const Merging b = current(j);
        const bool touch =
            a.radius > 0.0 && b.radius > 0.0 && vorn_kernel::fsDistance(a.q, b.q) < a.radius + b.radius;
        if (!touch) continue;
        // The kept body: not a test particle when the other is not, else the heavier, else the
        // older (lower id, lower slot).
        const bool keep_i = s.test[i] != s.test[j] ? s.test[i] == 0
                            : a.mass != b.mass     ? a.mass > b.mass
                                                   : i < j;
        const std::size_t kept = keep_i ? i : j;
        const std::size_t absorbed = keep_i ? j : i;
        Merging result = keep_i ? merged(s, kept, a, absorbed, b) : merged(s, kept, b, absorbed, a);
        if (merged_index[kept] == none) {
            merged_index[kept] = bodies.size();
            bodies.emplace_back(kept, result);
        } else {
            bodies[merged_index[kept]].second = result;
        }
        absorbed_by[absorbed] = kept;
        mergers.push_back(Merger{s.ids[kept], s.ids[absorbed]});
    }
    if (mergers.empty()) return mergers;
    if (s.spins.empty()) s.spins.assign(s.paddedSize(), Bivector{});  // the last allocation

    // Nothing below allocates or throws.
    for (const auto& [slot, body] : bodies) {
        if (absorbed_by[slot] != none) continue;
        VornBody written = s.readSlot(slot);
        written.position = body.q;
        written.velocity = body.v;
        written.mass = body.mass;
        written.force_accum = body.f;
        s.writeSlot(slot, written);  // low parts cleared
        s.radius[slot] = body.radius;
        s.spins[slot] = body.spin;
    }
    // The absorbed bodies leave; the others move down, keeping the id order.
    std::size_t out = 0;
    for (std::size_t slot = 0; slot < n; ++slot) {
        if (absorbed_by[slot] != none) continue;
        if (out != slot) {
            s.moveSlot(slot, out);
            s.ids[out] = s.ids[slot];
        }
        ++out;
    }
    for (std::size_t slot = out; slot < n; ++slot) s.writePadding(slot);
    s.ids.resize(out);
    const std::size_t padded = (out + 3) / 4 * 4;
    if (padded < s.paddedSize()) s.resizePadded(padded);
    return mergers;
}

}  // namespace vorn_world
