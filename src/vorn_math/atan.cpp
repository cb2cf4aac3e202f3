// atan, atan2 and acos, correctly rounded: a double-double fast path over a table of atan at
// j/128, and a multiprecision series after argument halving when the fast path cannot decide.

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "correctly_rounded.hpp"
#include "double_double.hpp"
#include "evaluation_path.hpp"
#include "multiprecision.hpp"
#include "tables.hpp"

namespace vorn::math {

namespace detail {

namespace {

using u64 = std::uint64_t;
__extension__ using u128 = unsigned __int128;

// The fast path's bound on |result - exact| / |exact|, with margin over the analysis.
constexpr double kFastRelativeError = 0x1p-66;
constexpr DoubleDouble kHalfPiDD{kHalfPiHi, kHalfPiLo};
constexpr DoubleDouble kPiDD{kPiHi, kPiLo};

DoubleDouble negated(DoubleDouble a) { return {-a.hi, -a.lo}; }

// atan(t) for 0 <= t <= 1 (normalised), relative error below 2^-67.9: t = c + (t - c) with
// c = j/128, atan(t) = atan(c) + atan(u), u = (t - c) / (1 + t c), |u| <= 2^-8.
DoubleDouble atanKernel(DoubleDouble t) {
    double jd = (t.hi * 128.0 + 0x1.8p52) - 0x1.8p52;
    double c = jd * 0x1p-7;
    DoubleDouble numerator = twoSum(t.hi - c, t.lo);  // t.hi - c is exact (Sterbenz)
    DoubleDouble tc = twoProduct(t.hi, c);
    DoubleDouble denominator = twoSum(1.0, tc.hi);
    denominator = fastTwoSum(denominator.hi, denominator.lo + (tc.lo + t.lo * c));
    DoubleDouble u = divDD(numerator, denominator);
    double u2 = u.hi * u.hi;
    // atan u = u (1 + q)
    double q = u2 * (-0x1.5555555555555p-2 +
                     u2 * (0x1.999999999999ap-3 + u2 * (-0x1.2492492492492p-3 + u2 * 0x1.c71c71c71c71cp-4)));
    const AtanEntry& entry = kAtan128[static_cast<int>(jd)];
    return addDD(DoubleDouble{entry.hi, entry.lo}, addDD(u, DoubleDouble{u.hi * q, 0.0}));
}

// atan of a/b for 0 < a, b (a/b within 2^-62 .. 2^62), and whether the ratio was inverted.
DoubleDouble atanOfRatio(double a, double b) {
    if (a <= b) return atanKernel(divDD(DoubleDouble{a, 0.0}, DoubleDouble{b, 0.0}));
    return addDD(kHalfPiDD, negated(atanKernel(divDD(DoubleDouble{b, 0.0}, DoubleDouble{a, 0.0}))));
}

bool decided(DoubleDouble v, double& out) {
    return roundIfDecided(v, kFastRelativeError * std::fabs(v.hi), out);
}

// ---- The accurate path -------------------------------------------------------------------

// atan(t) for 0 <= t <= 1 in n limbs, relative error below 2^(16 - 64 n) (plus t's own):
// five halvings atan t = 2 atan(t / (1 + sqrt(1 + t^2))) bring t below tan(pi/128), then the
// Taylor series.
constexpr int kHalvings = 5;

BigFloat bigAtan(BigFloat t, int n) {
    for (int i = 0; i < kHalvings; ++i) {
        BigFloat root = bigSqrt(bigAdd(bigOne(), bigMul(t, t, n), n), n);
        t = bigMul(t, bigReciprocal(bigAdd(bigOne(), root, n), n), n);
    }
    BigFloat t2 = bigMul(t, t, n);
    BigFloat power = t;
    BigFloat sum = t;
    for (std::uint32_t k = 3;; k += 2) {
        power = bigNeg(bigMul(power, t2, n));
        BigFloat term = bigDivSmall(power, k, n);
        sum = bigAdd(sum, term, n);
        if (term.zero || term.exponent < sum.exponent - std::int64_t{64} * n - 2) break;
    }
    return bigScale(sum, kHalvings);
}

// atan(a/b) for 0 < a, b, in n limbs.
BigFloat bigAtanOfRatio(const BigFloat& a, const BigFloat& b, int n) {
    bool inverted = a.exponent > b.exponent || (a.exponent == b.exponent && a.limbs > b.limbs);
    const BigFloat& num = inverted ? b : a;
    const BigFloat& den = inverted ? a : b;
    BigFloat atan = bigAtan(bigMul(num, bigReciprocal(den, n), n), n);
    return inverted ? bigSub(bigHalfPi(n), atan, n) : atan;
}

// Ziv's loop at 128, 256, 512 and 1024 bits on value(n), whose relative error is below
// 2^(20 - 64 n); past 1024 bits (never needed: these functions' hardest cases need far fewer)
// the last approximation's rounding is returned.
template <typename Value>
double zivLoop(Value value) {
    double result = 0.0;
    for (int n = 2; n <= 16; n *= 2) {
        BigFloat v = value(n);
        if (bigRoundIfDecided(v, v.exponent + 21 - std::int64_t{64} * n, n, result)) return result;
        result = bigToDouble(v, n);
    }
    return result;
}

// ---- The functions -----------------------------------------------------------------------

double atanImpl(double x, EvaluationPath& path) {
    double ax = std::fabs(x);
    path = EvaluationPath::special;
    if (std::isnan(x)) return x;
    if (ax > 0x1p54) return std::copysign(kHalfPiHi, x);  // pi/2 - 1/x rounds to it
    if (ax < 0x1p-27) return x;                           // x - x^3/3 rounds to x
    DoubleDouble v = atanOfRatio(ax, 1.0);
    if (x < 0) v = negated(v);
    double out = 0.0;
    path = EvaluationPath::fast;
    if (decided(v, out)) return out;
    path = EvaluationPath::accurate;
    return zivLoop([&](int n) {
        BigFloat a = bigAtanOfRatio(bigFromDouble(ax), bigOne(), n);
        return x < 0 ? bigNeg(a) : a;
    });
}

// Odd integer and exponent: |x| = odd 2^exponent, for finite nonzero x.
void oddParts(double x, u64& odd, int& exponent) {
    u64 bits = std::bit_cast<u64>(x) & ~(u64{1} << 63);
    u64 field = bits >> 52;
    odd = bits & ((u64{1} << 52) - 1);
    exponent = -1074;
    if (field != 0) {
        odd |= u64{1} << 52;
        exponent = static_cast<int>(field) - 1075;
    }
    int zeros = std::countr_zero(odd);
    odd >>= zeros;
    exponent += zeros;
}

// atan(y/x) for x > 0 and |y/x| < 2^-59. atan(q) = q (1 - d) with 0 < d < 2^-118, while a
// quotient of doubles that is not a midpoint between doubles is at least 2^-107 |q| away from
// one: so the result is the quotient's rounding, except when q is a midpoint exactly, where it
// is the neighbour nearer zero.
double atanOfTinyQuotient(double y, double x) {
    double quotient = y / x;
    u64 yOdd = 0;
    u64 xOdd = 0;
    int yExponent = 0;
    int xExponent = 0;
    oddParts(y, yOdd, yExponent);
    oddParts(x, xOdd, xExponent);
    u64 magnitude = std::bit_cast<u64>(quotient) & ~(u64{1} << 63);
    for (u64 lower : {magnitude - 1, magnitude}) {  // the pairs (pred, q) and (q, succ)
        if (magnitude == 0 && lower != 0) continue;
        u64 field = lower >> 52;
        u64 mantissa = lower & ((u64{1} << 52) - 1);
        int ulpExponent = -1074;
        if (field != 0) {
            mantissa |= u64{1} << 52;
            ulpExponent = static_cast<int>(field) - 1075;
        }
        // midpoint = (2 mantissa + 1) 2^(ulpExponent - 1), an odd multiple of a power of two
        u128 midpointOdd = 2 * static_cast<u128>(mantissa) + 1;
        if (yExponent - xExponent == ulpExponent - 1 && static_cast<u128>(yOdd) == midpointOdd * xOdd) {
            return std::copysign(std::bit_cast<double>(lower), y);
        }
    }
    return quotient;
}

double atan2Impl(double y, double x, EvaluationPath& path) {
    path = EvaluationPath::special;
    if (std::isnan(y)) return y;
    if (std::isnan(x)) return x;
    if (y == 0.0) return std::signbit(x) ? std::copysign(kPiHi, y) : y;
    if (std::isinf(y)) {
        if (std::isinf(x)) return std::copysign(x > 0 ? 0x1.921fb54442d18p-1 : 0x1.2d97c7f3321d2p+1, y);
        return std::copysign(kHalfPiHi, y);
    }
    if (std::isinf(x)) return x > 0 ? std::copysign(0.0, y) : std::copysign(kPiHi, y);
    if (x == 0.0) return std::copysign(kHalfPiHi, y);
    int ex = std::ilogb(x);
    int ey = std::ilogb(y);
    if (ey - ex > 60) return std::copysign(kHalfPiHi, y);  // pi/2 -+ |x/y| rounds to it
    if (ex - ey > 60) return x > 0 ? atanOfTinyQuotient(y, x) : std::copysign(kPiHi, y);
    double ax = std::ldexp(std::fabs(x), -ex);  // exact: both stay normal
    double ay = std::ldexp(std::fabs(y), -ex);
    DoubleDouble v = atanOfRatio(ay, ax);
    if (x < 0) v = addDD(kPiDD, negated(v));
    if (y < 0) v = negated(v);
    double out = 0.0;
    path = EvaluationPath::fast;
    if (decided(v, out)) return out;
    path = EvaluationPath::accurate;
    return zivLoop([&](int n) {
        BigFloat a = bigAtanOfRatio(bigFromDouble(ay), bigFromDouble(ax), n);
        if (x < 0) a = bigSub(bigScale(bigHalfPi(n), 1), a, n);
        return y < 0 ? bigNeg(a) : a;
    });
}

double acosImpl(double x, EvaluationPath& path) {
    path = EvaluationPath::special;
    if (std::isnan(x)) return x;
    if (std::fabs(x) > 1.0) return std::numeric_limits<double>::quiet_NaN();
    if (x == 1.0) return 0.0;
    if (x == -1.0) return kPiHi;
    // acos x = 2 atan(sqrt((1 - x) / (1 + x))) = pi - 2 atan(sqrt((1 + x) / (1 - x))); both
    // sums are exact as double-doubles.
    DoubleDouble oneMinus = twoSum(1.0, -x);
    DoubleDouble onePlus = twoSum(1.0, x);
    DoubleDouble v;
    if (x >= 0) {
        DoubleDouble a = atanKernel(sqrtDD(divDD(oneMinus, onePlus)));
        v = {2.0 * a.hi, 2.0 * a.lo};
    } else {
        DoubleDouble a = atanKernel(sqrtDD(divDD(onePlus, oneMinus)));
        v = addDD(kPiDD, DoubleDouble{-2.0 * a.hi, -2.0 * a.lo});
    }
    double out = 0.0;
    path = EvaluationPath::fast;
    if (decided(v, out)) return out;
    path = EvaluationPath::accurate;
    return zivLoop([&](int n) {
        BigFloat one = bigOne();
        BigFloat big = bigFromDouble(x);
        BigFloat minus = bigSub(one, big, n);
        BigFloat plus = bigAdd(one, big, n);
        BigFloat ratio =
            x >= 0 ? bigMul(minus, bigReciprocal(plus, n), n) : bigMul(plus, bigReciprocal(minus, n), n);
        BigFloat a = bigScale(bigAtan(bigSqrt(ratio, n), n), 1);
        return x >= 0 ? a : bigSub(bigScale(bigHalfPi(n), 1), a, n);
    });
}

}  // namespace

double atanWithPath(double x, EvaluationPath& path) { return atanImpl(x, path); }
double atan2WithPath(double y, double x, EvaluationPath& path) { return atan2Impl(y, x, path); }
double acosWithPath(double x, EvaluationPath& path) { return acosImpl(x, path); }

}  // namespace detail

double atan(double x) {
    detail::EvaluationPath path{};
    return detail::atanImpl(x, path);
}

double atan2(double y, double x) {
    detail::EvaluationPath path{};
    return detail::atan2Impl(y, x, path);
}

double acos(double x) {
    detail::EvaluationPath path{};
    return detail::acosImpl(x, path);
}

}  // namespace vorn::math
