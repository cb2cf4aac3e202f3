// atan, atan2 and acos, correctly rounded: a fast path of a table value plus a Taylor correction
// (atan near j/256; acos through asin(sqrt w) / sqrt w near j/256), and a multiprecision series
// after argument halving when the fast path cannot decide.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "bits.hpp"
#include "correctly_rounded.hpp"
#include "double_double.hpp"
#include "evaluation_path.hpp"
#include "multiprecision.hpp"
#include "tables.hpp"

namespace vorn::math {

namespace detail {

namespace {

// The fast paths' bounds on |result - exact| / |exact|, with margin over the analyses
// (docs/portability.md, "atan, atan2 and acos").
constexpr double kAtanRelativeError = 0x1p-66;
constexpr double kAcosRelativeError = 0x1p-68;
constexpr double kRoundingShift = 0x1.8p52;  // adding it rounds a double below 2^51 to an integer

// Rounds hi + lo when every value within relativeError |hi| rounds alike (see roundIfDecided;
// lo need not be normalised, its rounding is part of the bound). hi is positive: the fast paths
// return magnitudes.
bool decided(double hi, double lo, double relativeError, double& out) {
    return roundIfDecided(DoubleDouble{hi, lo}, relativeError * hi, out);
}

// Quadrant q of atan2's result: base + sign * atan(t), t = num/den <= 1 (kAtanBase[q]).
constexpr double kQuadrantSign[4] = {1.0, -1.0, -1.0, 1.0};

// kAtanBase[quadrant] + kQuadrantSign[quadrant] atan(num/den) for 0 < num <= den, as hi + lo
// (lo not normalised) with relative error below 2^-66.9, for num/den >= 2^-62 and both within
// 2^-600 .. 2^601 (no underflow in the remainder's products). reciprocal is 1/den to 2^-40 (it
// scales the division's remainder), or anything when den = 1 (the remainder is zero).
[[gnu::always_inline]] inline DoubleDouble atanOfQuotient(double num, double den, double reciprocal,
                                                          int quadrant) {
    double th = num / den;
    // num - th den from the truncated splits th = t1 + t2, den = d1 + d2: num - t1 d1 is exact
    // (an exact product within 2^-24 of num), the three other products are rounded below 2^-77 num
    DoubleDouble ts = truncatedSplit(th);
    DoubleDouble ds = truncatedSplit(den);
    double remainder = (((num - ts.hi * ds.hi) - ts.hi * ds.lo) - ts.lo * ds.hi) - ts.lo * ds.lo;
    double tl = remainder * reciprocal;  // num/den = th + tl to 2^-77 th
    double jd = (th * 256.0 + kRoundingShift) - kRoundingShift;
    double h = th - jd * 0x1p-8;  // exact, |h| <= 2^-9
    const AtanTaylorRow& row = kAtanTaylor[static_cast<std::int64_t>(jd)];
    const AtanBaseEntry& base = kAtanBase[quadrant][static_cast<std::int64_t>(jd)];
    double sign = kQuadrantSign[quadrant];
    // h a1 = hs.hi a1High + pe + h a1Rest: the first two exact (26 by 26 and 27 by 26 bits), the
    // last below 2^-25 of h a1
    DoubleDouble hs = truncatedSplit(h);
    double pe = hs.lo * row.a1High;
    double h2 = h * h;
    double poly = (row.a2 + row.a3 * h) + h2 * ((row.a4 + row.a5 * h) + h2 * (row.a6 + row.a7 * h));
    double small = (pe + h * row.a1Rest) + tl * (row.a1High + (row.a2 + row.a2) * h);  // tl times atan'(t)
    // the sign applied to the factors that are ready early (exact either way)
    DoubleDouble s = fastTwoSum(base.hi, (sign * hs.hi) * row.a1High);
    double lo = ((s.lo + base.lo) + sign * small) + (sign * h2) * poly;
    return {s.hi, lo};
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
// Each has an inline fast path; the special values, closed forms and the accurate path are out
// of line.

constexpr u64 kSignBit = u64{1} << 63;

[[gnu::noinline, gnu::cold]] double atanRare(double x, EvaluationPath& path) {
    path = EvaluationPath::special;
    if (std::isnan(x)) return x;
    if (std::fabs(x) > 0x1p54) return std::copysign(kHalfPiHi, x);  // pi/2 - 1/x rounds to it
    return x;                                                       // |x| < 2^-27: x - x^3/3 rounds to x
}

[[gnu::noinline, gnu::cold]] double atanAccurate(double x, EvaluationPath& path) {
    path = EvaluationPath::accurate;
    double ax = std::fabs(x);
    return zivLoop([&](int n) {
        BigFloat a = bigAtanOfRatio(bigFromDouble(ax), bigOne(), n);
        return x < 0 ? bigNeg(a) : a;
    });
}

[[gnu::always_inline]] inline double atanImpl(double x, EvaluationPath& path) {
    constexpr u64 kLowest = std::bit_cast<u64>(0x1p-27);
    constexpr u64 kHighest = std::bit_cast<u64>(0x1p54);
    u64 bits = std::bit_cast<u64>(x) & ~kSignBit;
    if (bits - kLowest > kHighest - kLowest) [[unlikely]]  // also NaN and infinities
        return atanRare(x, path);
    // atan |x| = atan(|x| / 1), or pi/2 - atan(1 / |x|) above 1; selected with a mask on the
    // bits, as g++ turns selections between |x| and 1 into a branch, which mispredicts
    constexpr u64 kOne = std::bit_cast<u64>(1.0);
    u64 above = u64{0} - static_cast<u64>(bits > kOne);  // all ones or zero
    u64 swap = (bits ^ kOne) & above;
    double num = std::bit_cast<double>(bits ^ swap);
    double den = std::bit_cast<double>(kOne ^ swap);
    // 1/den = num/den when num = 1; otherwise den = 1 and the remainder is zero
    DoubleDouble v = atanOfQuotient(num, den, num / den, static_cast<int>(above & 1));
    double out = 0.0;
    path = EvaluationPath::fast;
    if (decided(v.hi, v.lo, kAtanRelativeError, out)) [[likely]]
        return flipSign(out, std::bit_cast<u64>(x) & kSignBit);
    return atanAccurate(x, path);
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

[[gnu::noinline, gnu::cold]] double atan2Accurate(double y, double x, double ay, double ax,
                                                  EvaluationPath& path) {
    path = EvaluationPath::accurate;
    return zivLoop([&](int n) {
        BigFloat a = bigAtanOfRatio(bigFromDouble(ay), bigFromDouble(ax), n);
        if (x < 0) a = bigSub(bigScale(bigHalfPi(n), 1), a, n);
        return y < 0 ? bigNeg(a) : a;
    });
}

// atan2 of nonzero finite y and x whose magnitudes ay and ax lie within 2^-600 .. 2^601 and
// within a factor 2^61 of each other.
[[gnu::always_inline]] inline double atan2OfMagnitudes(double y, double x, double ay, double ax,
                                                       EvaluationPath& path) {
    int inverted = static_cast<int>(ay > ax);
    int quadrant = inverted + 2 * static_cast<int>(std::bit_cast<u64>(x) >> 63);
    double den = std::max(ay, ax);
    DoubleDouble v = atanOfQuotient(std::min(ay, ax), den, 1.0 / den, quadrant);
    double out = 0.0;
    path = EvaluationPath::fast;
    if (decided(v.hi, v.lo, kAtanRelativeError, out)) [[likely]]
        return flipSign(out, std::bit_cast<u64>(y) & kSignBit);
    return atan2Accurate(y, x, ay, ax, path);
}

[[gnu::noinline, gnu::cold]] double atan2Rare(double y, double x, EvaluationPath& path) {
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
    return atan2OfMagnitudes(y, x, ay, ax, path);
}

[[gnu::always_inline]] inline double atan2Impl(double y, double x, EvaluationPath& path) {
    u64 xBits = std::bit_cast<u64>(x) & ~kSignBit;
    u64 yBits = std::bit_cast<u64>(y) & ~kSignBit;
    u64 ex = xBits >> 52;
    u64 ey = yBits >> 52;
    constexpr u64 kLowestField = 1023 - 600;
    constexpr u64 kFieldSpan = 1200;
    // zeros, subnormals, infinities, NaN, magnitudes beyond 2^+-600 or exponents more than 60 apart
    bool rare = (ex - kLowestField > kFieldSpan) | (ey - kLowestField > kFieldSpan) | (ex - ey + 60 > 120);
    if (rare) [[unlikely]]
        return atan2Rare(y, x, path);
    return atan2OfMagnitudes(y, x, std::bit_cast<double>(yBits), std::bit_cast<double>(xBits), path);
}

[[gnu::noinline, gnu::cold]] double acosRare(double x, EvaluationPath& path) {
    path = EvaluationPath::special;
    if (std::isnan(x)) return x;
    if (std::fabs(x) > 1.0) return std::numeric_limits<double>::quiet_NaN();
    return x == 1.0 ? 0.0 : kPiHi;  // x = +-1
}

[[gnu::noinline, gnu::cold]] double acosAccurate(double x, EvaluationPath& path) {
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

// acos x = 2 sqrt(w) F(w) for x >= 0 and pi - 2 sqrt(w) F(w) for x < 0, with w = (1 - |x|)/2
// and F(w) = asin(sqrt w) / sqrt w from kArcsineRatio.
constexpr DoubleDouble kAcosBase[2] = {{0.0, 0.0}, {kPiHi, kPiLo}};
constexpr double kAcosScale[2] = {2.0, -2.0};

[[gnu::always_inline]] inline double acosImpl(double x, EvaluationPath& path) {
    u64 bits = std::bit_cast<u64>(x) & ~kSignBit;
    if (bits >= std::bit_cast<u64>(1.0)) [[unlikely]]  // also NaN
        return acosRare(x, path);
    double ax = std::bit_cast<double>(bits);
    double halfAx = 0.5 * ax;
    DoubleDouble w = fastTwoSum(0.5, -halfAx);  // (1 - ax)/2 exactly
    double wh = w.hi;
    double wl = w.lo;
    // sqrt(w) = s1 (1 + delta): s1 = sqrt(wh) truncated to 26 significant bits, so that w - s1^2 =
    // (wh - s1^2) + wl with the first difference exact (s1^2 exact, Sterbenz); with q = (w - s1^2) / (2 w),
    // |q| <= 2^-25 (1 + 2^-26), delta = (1 - 2 q)^(-1/2) - 1 = q + 1.5 q^2 + 2.5 q^3 + ... to 2^-73.3
    double halfReciprocal = 0.5 / wh;  // divides beside the square root, not after it
    double s1 = truncatedSplit(std::sqrt(wh)).hi;
    u64 negative = std::bit_cast<u64>(x) >> 63;
    double scaled = kAcosScale[negative] * s1;  // +-2 s1, exact: the result's factor taken early
    double q = ((wh - s1 * s1) + wl) * halfReciprocal;
    double delta = q + (1.5 * q) * q;
    // F(w) = g.hi + gl, w = j/256 + h: h = (1/2 - j/256) - |x|/2 is exact (Sterbenz: for |x| < 1/2
    // both terms lie within 2^-9 of each other and above 2^-8, or the first is 0; otherwise both
    // lie in [1/4, 1/2]), |h| <= 2^-9 + 2^-55
    double jd = (wh * 256.0 + kRoundingShift) - kRoundingShift;
    double h = (0.5 - jd * 0x1p-8) - halfAx;
    const ArcsineRatioRow& row = kArcsineRatio[static_cast<std::int64_t>(jd)];
    DoubleDouble hs = truncatedSplit(h);
    double p = hs.hi * row.f1High;  // exact, as is pe (26 by 26 bits)
    double pe = hs.lo * row.f1High;
    double h2 = h * h;
    double poly = (row.f2 + row.f3 * h) + h2 * ((row.f4 + row.f5 * h) + h2 * (row.f6 + row.f7 * h));
    double small = (pe + h * row.f1Rest) + row.f0Lo;
    DoubleDouble g = fastTwoSum(row.f0, p);
    double gl = (g.lo + small) + h2 * poly;
    // +-2 s1 F(w) = vh + v0, vh exact (26 by 26 bits), v0 below 2^-24 of it; then +-2 sqrt(w) F(w) =
    // vh + vl with vl = v0 + (vh + v0) delta
    DoubleDouble gs = truncatedSplit(g.hi);
    double vh = scaled * gs.hi;
    double v0 = scaled * (gs.lo + gl);
    double vl = v0 + (vh + v0) * delta;
    const DoubleDouble& base = kAcosBase[negative];
    DoubleDouble r = fastTwoSum(base.hi, vh);
    double lo = (r.lo + base.lo) + vl;
    double out = 0.0;
    path = EvaluationPath::fast;
    if (decided(r.hi, lo, kAcosRelativeError, out)) [[likely]]
        return out;
    return acosAccurate(x, path);
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
