#pragma once
// Error-free transformations and double-double arithmetic with + - * / and sqrt only (no fused
// multiply-add, so every target gets the same bits). A value is hi + lo with |lo| <= ulp(hi)/2
// after normalisation.

#include <bit>
#include <cmath>
#include <cstdint>

namespace vorn::math::detail {

struct DoubleDouble {
    double hi;
    double lo;
};

// s + e == a + b exactly (any order of magnitude).
inline DoubleDouble twoSum(double a, double b) {
    double s = a + b;
    double bb = s - a;
    double e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

// s + e == a + b exactly, provided |a| >= |b| or a == 0.
inline DoubleDouble fastTwoSum(double a, double b) {
    double s = a + b;
    return {s, b - (s - a)};
}

// Veltkamp's split: hi has at most 26 significant bits, hi + lo == a (for |a| < 2^995).
inline DoubleDouble split(double a) {
    constexpr double kSplitter = 0x1.0000002p+27;  // 2^27 + 1
    double c = kSplitter * a;
    double hi = c - (c - a);
    return {hi, a - hi};
}

// a = hi + lo with hi = a truncated to 26 significant bits (the low 27 bits of the significand
// cleared; one mask, unlike Veltkamp's split) and lo = a - hi exact, of at most 27 bits and a's sign.
// So hi times a 26-bit or a 27-bit factor and lo times a 26-bit factor are exact products.
// (The mask is applied to a two-lane vector so that it stays in the floating-point registers.)
inline DoubleDouble truncatedSplit(double a) {
    using Lanes = std::uint64_t __attribute__((vector_size(16)));
    using DoubleLanes = double __attribute__((vector_size(16)));
    constexpr std::uint64_t kHighBits = ~((std::uint64_t{1} << 27) - 1);
    DoubleLanes lanes = {a, 0.0};
    double hi = std::bit_cast<DoubleLanes>(std::bit_cast<Lanes>(lanes) & Lanes{kHighBits, 0})[0];
    return {hi, a - hi};
}

// p + e == a * b exactly (Dekker), barring overflow and underflow of the partial products.
inline DoubleDouble twoProduct(double a, double b) {
    double p = a * b;
    DoubleDouble as = split(a);
    DoubleDouble bs = split(b);
    double e = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return {p, e};
}

// (a.hi + a.lo) * b with relative error below 2^-102.
inline DoubleDouble mulDD(DoubleDouble a, double b) {
    DoubleDouble p = twoProduct(a.hi, b);
    return fastTwoSum(p.hi, p.lo + a.lo * b);
}

// (a.hi + a.lo) * (b.hi + b.lo) with relative error below 2^-101.
inline DoubleDouble mulDD(DoubleDouble a, DoubleDouble b) {
    DoubleDouble p = twoProduct(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// a / b with relative error below 2^-100.
inline DoubleDouble divDD(DoubleDouble a, DoubleDouble b) {
    double q = a.hi / b.hi;
    DoubleDouble p = mulDD(b, q);
    double r = ((a.hi - p.hi) - p.lo + a.lo) / b.hi;
    return fastTwoSum(q, r);
}

// sqrt(a), a > 0, with relative error below 2^-100.
inline DoubleDouble sqrtDD(DoubleDouble a) {
    double s = std::sqrt(a.hi);
    DoubleDouble sq = twoProduct(s, s);
    double r = ((a.hi - sq.hi) - sq.lo + a.lo) / (2.0 * s);
    return fastTwoSum(s, r);
}

// Rounds hi + lo to nearest when every value within err of it rounds to the same double:
// returns true and stores that double in out; false when the rounding is not decided.
inline bool roundIfDecided(DoubleDouble v, double err, double& out) {
    double down = v.hi + (v.lo - err);
    double up = v.hi + (v.lo + err);
    if (down != up) return false;
    out = up;
    return true;
}

}  // namespace vorn::math::detail
