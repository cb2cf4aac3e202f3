// Conserved quantities: the kinetic and potential energy under the softened law, each term in
// double-double arithmetic and summed so in storage order, and the angular-momentum bivector
// (with the bodies' spins).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/double_double.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/potential.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

namespace {

using detail::DD;

// ½m|v|² of the body in slot i. Dekker's products take factors below 2^995: a velocity whose
// square is beyond (left by a compat step that diverged) gets the plain double sum, which
// overflows to infinity rather than to NaN.
DD kineticOf(const detail::WorldState& s, std::size_t i) {
    const HomVec4 v = s.velocity(i);
    if (!(std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z), std::fabs(v.w)}) < 0x1.0p496)) {
        const double plain = ((v.x * v.x + v.y * v.y) + v.z * v.z) + v.w * v.w;
        return DD{s.mass[i] == 0.0 ? 0.0 : 0.5 * s.mass[i] * plain, 0.0};
    }
    const DD vv =
        ((detail::exactProduct(v.x, v.x) + detail::exactProduct(v.y, v.y)) + detail::exactProduct(v.z, v.z)) +
        detail::exactProduct(v.w, v.w);
    return DD{0.5 * s.mass[i], 0.0} * vv;
}

// The potential energy of the body in slot i with every attractor and (mutual gravity on) with
// every later body of which one of the two pulls. A pair with a body of mass 0 adds nothing,
// also where the law is infinite (ε = 0, the two at one place).
DD potentialOf(const detail::WorldState& s, std::size_t i, const detail::Softening& softening) {
    if (s.mass[i] == 0.0) return DD{};
    const HomVec4 q = s.position(i);
    DD sum{};
    for (const Attractor& a : s.attractors) {
        sum = sum + detail::potential(q, a.position, detail::exactProduct(s.G, a.mass), softening);
    }
    if (s.mutual) {
        for (std::size_t j = i + 1; j < s.size(); ++j) {
            if (s.moved[j] == 0 || s.mass[j] == 0.0 || (s.pulls[i] == 0 && s.pulls[j] == 0)) continue;
            sum = sum + detail::potential(q, s.position(j), detail::exactProduct(s.G, s.mass[j]), softening);
        }
    }
    return DD{s.mass[i], 0.0} * sum;
}

// A sum in double-double arithmetic and, for when a term is infinite (which the double-double
// sum turns into NaN), the plain sum of the terms' leading parts.
struct Sum {
    DD exact;
    double plain = 0.0;
    double value() const { return std::isfinite(exact.hi) ? exact.hi : plain; }
};

Sum operator+(const Sum& a, const Sum& b) { return {a.exact + b.exact, a.plain + b.plain}; }

// Σ of `of` over the moved bodies in storage order, each body's term computed on any thread.
template <class Term>
Sum sumOverBodies(const detail::WorldState& s, Term&& of) {
    std::vector<DD> terms(s.size());
    s.runParallel(s.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            if (s.moved[i] != 0) terms[i] = of(i);
        }
    });
    Sum total{};
    for (const DD& term : terms) total = {total.exact + term, total.plain + term.hi};
    return total;
}

Sum kineticEnergyOf(const detail::WorldState& s) {
    return sumOverBodies(s, [&](std::size_t i) { return kineticOf(s, i); });
}

Sum potentialEnergyOf(const detail::WorldState& s) {
    const detail::Softening softening = detail::softeningOf(s.softening);
    return sumOverBodies(s, [&](std::size_t i) { return potentialOf(s, i, softening); });
}

}  // namespace

double gravityPotential(HomVec4 p, HomVec4 source, double gm, double softening) {
    detail::checkMagnitude("the softening", softening, true);
    return detail::potential(p, source, DD{gm, 0.0}, detail::softeningOf(softening)).hi;
}

double World::kineticEnergy() const { return kineticEnergyOf(*state_).value(); }

double World::potentialEnergy() const { return potentialEnergyOf(*state_).value(); }

double World::energy() const { return (kineticEnergyOf(*state_) + potentialEnergyOf(*state_)).value(); }

Bivector World::angularMomentum() const {
    const detail::WorldState& s = *state_;
    Bivector L{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.moved[i] == 0) continue;
        const double m = s.mass[i];
        const HomVec4 q = s.position(i);
        const HomVec4 v = s.velocity(i);
        L.xy += m * (q.x * v.y - q.y * v.x);
        L.xz += m * (q.x * v.z - q.z * v.x);
        L.xw += m * (q.x * v.w - q.w * v.x);
        L.yz += m * (q.y * v.z - q.z * v.y);
        L.yw += m * (q.y * v.w - q.w * v.y);
        L.zw += m * (q.z * v.w - q.w * v.z);
        if (s.spins.empty()) continue;
        const Bivector& spin = s.spins[i];
        L.xy += spin.xy;
        L.xz += spin.xz;
        L.xw += spin.xw;
        L.yz += spin.yz;
        L.yw += spin.yw;
        L.zw += spin.zw;
    }
    return L;
}

}  // namespace vorn_world
