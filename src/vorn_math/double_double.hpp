#pragma once
// Error-free transformations and double-double arithmetic with + - * / and sqrt only (no fused
// multiply-add, so every target gets the same bits). A value is hi + lo with |lo| <= ulp(hi)/2
// after normalisation.

#include <cmath>

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
