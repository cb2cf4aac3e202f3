// pow, correctly rounded: x^y = exp(y ln x) with a table-driven logarithm and exponential in
// the fast path (a Newton step for the kernel's x^(-1/4)), an exact test for the results that
// are doubles or midpoints between doubles, and exp(y ln x) in multiprecision when the fast path
// cannot decide.

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

constexpr double kInfinity = std::numeric_limits<double>::infinity();

constexpr u64 kFractionMask = (u64{1} << 52) - 1;
constexpr u64 kOneBits = u64{1023} << 52;

// The fast path of x^y = exp(y ln x) for finite x > 0 given as x = xScaled 2^exponentOffset with
// xScaled normal, and y finite with |y| < 2^65 (< 2^10 when kSmallY: z is then formed from the
// logarithm before its normalisation). Stores y ln x (roughly) in z and, when the result lies in
// [2^-1021, 2^1023] and its rounding is decided, the result in out (true). Relative error below
// |y| (2^-53.97 r^2 + 2^-83.6) + 2^-86.9 |z| + 2^-70 (docs/portability.md).
template <bool kSmallY>
[[gnu::always_inline]] inline bool powLogExp(double xScaled, int exponentOffset, double y, double& z,
                                             double& out) {
    // ln x = e ln 2 - ln(inv) + ln(1 + r), r = m inv - 1, m in [1, 2), |r| < 2^-8.93
    u64 ix = std::bit_cast<u64>(xScaled);
    u64 fraction = ix & kFractionMask;
    const PowLogEntry& entry = kPowLog[(fraction + (u64{1} << 43)) >> 44];
    auto e = static_cast<double>(static_cast<int>(ix >> 52) - 1023 + exponentOffset);
    double m = std::bit_cast<double>(fraction | kOneBits);
    double mHi = std::bit_cast<double>((fraction & ~u64{0xfff}) | kOneBits);  // 41 bits
    double rHi = mHi * entry.inv - 1.0;                                       // exact
    double rLo = (m - mHi) * entry.inv;                                       // exact
    DoubleDouble r = fastTwoSum(rHi, rLo);  // exact: rHi + rLo is a double when |rHi| < |rLo|
    double square = r.hi * r.hi;
    double cube = r.hi * square;
    double fourth = square * square;
    // ln(1 + r) = r - r^2/2 + r^3 (1/3 - r/4 + ... - r^5/8) + O(r^9)
    double tail = cube * ((0x1.5555555555555p-2 - 0x1p-2 * r.hi) +
                          square * (0x1.999999999999ap-3 - 0x1.5555555555555p-3 * r.hi) +
                          fourth * (0x1.2492492492492p-3 - 0x1p-3 * r.hi));
    double aHi = e * kPowLn2Hi + entry.logHi;  // exact: multiples of 2^-42 below 2^11
    double aLo = e * kPowLn2Lo + entry.logLo;
    DoubleDouble s1 = fastTwoSum(aHi, r.hi);             // aHi is 0 or larger than |r|
    DoubleDouble s2 = fastTwoSum(s1.hi, -0.5 * square);  // square's rounding is the largest error
    double lo = ((s1.lo + s2.lo) + (aLo + (r.lo - r.lo * r.hi))) + tail;
    DoubleDouble lnx = kSmallY ? DoubleDouble{s2.hi, lo} : fastTwoSum(s2.hi, lo);  // |lo| < 2^-28

    z = y * lnx.hi;
    if (!(z > -707.7 && z < 709.4)) return false;  // outside [2^-1021, 2^1023.5]
    DoubleDouble zz = twoProduct(y, lnx.hi);
    zz.lo += y * lnx.lo;  // below 2^-17.9 (kSmallY) or 2^-42.4

    // exp(z) = 2^k 2^(j/256) exp(f), n = 256 k + j = nearest integer to z 256/ln 2, |f| < 2^-9.52
    double shifted = zz.hi * kPow256OverLn2 + 0x1.8p52;  // n + 1.5 2^52 (|n| < 2^18), exact
    double n = shifted - 0x1.8p52;
    auto ni =
        static_cast<std::int64_t>(std::bit_cast<u64>(shifted) & kFractionMask) - (std::int64_t{1} << 51);
    const PowExpEntry& t = kPowExp[ni & 255];
    DoubleDouble f = twoSum(zz.hi - n * kPowLn2Over256Hi, zz.lo - n * kPowLn2Over256Lo);  // first exact
    // exp(f) = 1 + f.hi + f.hi^2 (1/2 + f.hi/6 + ... + f.hi^4/720) + f.lo (1 + f.hi) + O(2^-79)
    double f2 = f.hi * f.hi;
    double poly =
        f2 * ((0.5 + 0x1.5555555555555p-3 * f.hi) +
              f2 * ((0x1.5555555555555p-5 + 0x1.1111111111111p-7 * f.hi) + f2 * 0x1.6c16c16c16c17p-10));
    double u = poly + (f.lo + f.lo * f.hi);  // below 2^-20.04
    // t.hi f.hi = hiUpper fs.hi + hiLower fs.hi + t.hi fs.lo: the first two exact (26-bit
    // factors), the last below 2^-36.5 t.hi
    DoubleDouble fs = split(f.hi);
    double pHi = t.hiUpper * fs.hi;
    DoubleDouble sum = fastTwoSum(t.hi, pHi);
    double sumLo = t.hi * (fs.lo + u) + ((t.lo + t.lo * f.hi) + (t.hiLower * fs.hi + sum.lo));
    // t.hi is the result divided by exp f (|f| <= 2^-9.52); each term is at least 1.8 times the
    // proved one, which also covers the roundings of sumLo -+ err (|sumLo| < 2^-20 t.hi) in the
    // unnormalised test
    double err =
        t.hi * (std::fabs(y) * (0x1p-53 * square + 0x1p-82) + (0x1p-86 * std::fabs(zz.hi) + 0x1p-69));
    double rounded = 0.0;
    if (!roundIfDecided(DoubleDouble{sum.hi, sumLo}, err, rounded)) return false;
    out = rounded * powerOfTwo(static_cast<int>(ni >> 8));  // exact: the result is normal
    return true;
}

// x^(-1/4) for 2^-900 < x < 2^900 (no partial product of Dekker's underflows or overflows): a
// double v from w = sqrt(x), a square root and a division, then one Newton step v (1 - d/4) on
// d = x v^4 - 1 = (w v^2)^2 - 1 + (x - w^2) v^4, with w v^2 in double-double (x - w^2 is off the
// critical path). Relative error below 2^-100; the test uses 2^-96. False when the rounding is
// not decided.
[[gnu::always_inline]] inline bool inverseFourthRoot(double x, double& out) {
    double w = std::sqrt(x);
    double v = 1.0 / std::sqrt(w);
    DoubleDouble ww = twoProduct(w, w);
    double residual = (x - ww.hi) - ww.lo;  // x - w^2
    DoubleDouble v2 = twoProduct(v, v);
    DoubleDouble q = twoProduct(w, v2.hi);                          // w v^2 = q + w v2.lo
    double delta = (q.hi - 1.0) + (q.lo + w * v2.lo);               // q.hi - 1 exact: |delta| < 2^-50
    double d = delta * (2.0 + delta) + residual * (v2.hi * v2.hi);  // |d| < 2^-49.6
    return roundIfDecided(DoubleDouble{v, -0.25 * (v * d)}, 0x1p-96 * v, out);
}

// x^y for y = -1/2 and 1/4 (2^-900 < x < 2^900) through double-double square roots and a
// division: relative error below 2^-98, so the test uses 2^-95. False for other y or when the
// rounding is not decided.
bool rootPower(double x, double y, double& out) {
    DoubleDouble v{x, 0.0};
    if (y == -0.5) {
        v = divDD(DoubleDouble{1.0, 0.0}, sqrtDD(v));
    } else if (y == 0.25) {
        v = sqrtDD(sqrtDD(v));
    } else {
        return false;
    }
    return roundIfDecided(v, 0x1p-95 * v.hi, out);
}

// ---- Exact results ----------------------------------------------------------------------

struct OddParts {
    u64 odd;
    std::int64_t exponent;  // value = odd 2^exponent
};

// |x| as odd 2^exponent, for finite nonzero x.
OddParts oddParts(double x) {
    u64 bits = std::bit_cast<u64>(x) & ~(u64{1} << 63);
    u64 field = bits >> 52;
    u64 odd = bits & ((u64{1} << 52) - 1);
    std::int64_t exponent = -1074;
    if (field != 0) {
        odd |= u64{1} << 52;
        exponent = static_cast<std::int64_t>(field) - 1075;
    }
    int zeros = std::countr_zero(odd);
    return {odd >> zeros, exponent + zeros};
}

// base^count when it stays below 2^64.
bool smallPower(u64 base, u64 count, u64& power) {
    u128 p = 1;
    for (u64 i = 0; i < count; ++i) {
        p *= base;
        if (p >> 64 != 0) return false;
    }
    power = static_cast<u64>(p);
    return true;
}

// When x^y (x > 0 finite, y finite nonzero) is a dyadic rational p 2^e with p < 2^64 (every
// result that is a double or a midpoint between two is), stores its correct rounding.
bool exactPower(double x, double y, double& out) {
    OddParts xs = oddParts(x);
    OddParts ys = oddParts(y);
    bool yNegative = y < 0;
    // y = +-ys.odd 2^ys.exponent; x^y = xs.odd^y 2^(xs.exponent y)
    std::int64_t rootOrder = ys.exponent < 0 ? -ys.exponent : 0;  // y = n / 2^rootOrder, n odd
    u64 root = xs.odd;
    if (rootOrder > 0) {
        // x = 2^e (e != 0: x == 1 is handled before) has |e| < 2^11; other odd parts are
        // below 2^53 and cannot be 2^7-th powers.
        if (rootOrder > 11 || (rootOrder > 6 && root != 1)) return false;
        {
            for (std::int64_t i = 0; i < rootOrder; ++i) {  // root = xs.odd^(1/2^rootOrder), if an integer
                auto s = static_cast<u64>(std::sqrt(static_cast<double>(root)));
                while (s * s > root) --s;
                while ((s + 1) * (s + 1) <= root) ++s;
                if (s * s != root) return false;
                root = s;
            }
        }
        if (xs.exponent % (std::int64_t{1} << rootOrder) != 0) return false;
    }
    if (root != 1 && yNegative) return false;  // 1/odd is not dyadic
    // x^y = root^n 2^(xs.exponent / 2^rootOrder * n), n = +-ys.odd (times 2^ys.exponent if >= 0)
    u64 count = ys.odd;
    std::int64_t shift = ys.exponent > 0 ? ys.exponent : 0;
    u64 power = 1;
    if (root != 1) {
        if (shift > 6) return false;
        if (!smallPower(root, count << shift, power)) return false;
    }
    // The power of two: (xs.exponent / 2^rootOrder) * n * 2^shift, clamped far outside the range.
    std::int64_t base = xs.exponent / (std::int64_t{1} << rootOrder);
    double scale =
        static_cast<double>(base) * static_cast<double>(ys.odd) * std::ldexp(1.0, static_cast<int>(shift));
    if (yNegative) scale = -scale;
    std::int64_t exponent = 0;
    if (scale > 4000.0) {
        exponent = 4000;
    } else if (scale < -4000.0) {
        exponent = -4000;
    } else {
        exponent = static_cast<std::int64_t>(scale);  // exact below 2^53
    }
    u64 buffer[1] = {power};
    BigFloat value = bigFromLimbs(buffer, 1, exponent + 64, 1);
    out = bigToDouble(value, 1);
    return true;
}

// ---- The accurate path ------------------------------------------------------------------

// ln x for finite x > 0 in n limbs, relative error below 2^(14 - 64 n): x = m 2^e with m in
// [sqrt(2)/2, sqrt(2)), ln x = e ln 2 + 2 atanh((m - 1) / (m + 1)).
BigFloat bigLog(double x, int n) {
    int e = 0;
    double m = std::frexp(x, &e);
    if (m < 0x1.6a09e667f3bcdp-1) {
        m *= 2.0;
        e -= 1;
    }
    BigFloat bm = bigFromDouble(m);
    BigFloat s = bigMul(bigSub(bm, bigOne(), n), bigReciprocal(bigAdd(bm, bigOne(), n), n), n);
    BigFloat s2 = bigMul(s, s, n);
    BigFloat power = s;
    BigFloat sum = s;
    for (std::uint32_t k = 3;; k += 2) {
        power = bigMul(power, s2, n);
        BigFloat term = bigDivSmall(power, k, n);
        sum = bigAdd(sum, term, n);
        if (term.zero || term.exponent < sum.exponent - std::int64_t{64} * n - 2) break;
    }
    BigFloat ln2 = bigFromLimbs(kLn2Limbs, 20, 0, n);
    BigFloat eLn2 = e >= 0 ? bigMulSmall(ln2, static_cast<std::uint32_t>(e), n)
                           : bigNeg(bigMulSmall(ln2, static_cast<std::uint32_t>(-e), n));
    return bigAdd(eLn2, bigScale(sum, 1), n);
}

// exp(t) for |t| < 800 in n limbs, relative error below 2^(24 - 64 n) plus t's absolute error:
// t = k ln 2 + r, exp(r) = (Taylor series of r / 2^16)^(2^16).
BigFloat bigExp(const BigFloat& t, int n) {
    constexpr int kSquarings = 16;
    BigFloat ln2 = bigFromLimbs(kLn2Limbs, 20, 0, n);
    double k = std::nearbyint(bigToDouble(t, n) / 0x1.62e42fefa39efp-1);
    auto kk = static_cast<std::int64_t>(k);
    BigFloat kLn2 = kk >= 0 ? bigMulSmall(ln2, static_cast<std::uint32_t>(kk), n)
                            : bigNeg(bigMulSmall(ln2, static_cast<std::uint32_t>(-kk), n));
    BigFloat r = bigScale(bigSub(t, kLn2, n), -kSquarings);
    BigFloat term = bigOne();
    BigFloat sum = bigOne();
    for (std::uint32_t i = 1;; ++i) {
        term = bigDivSmall(bigMul(term, r, n), i, n);
        sum = bigAdd(sum, term, n);
        if (term.zero || term.exponent < sum.exponent - std::int64_t{64} * n - 2) break;
    }
    for (int i = 0; i < kSquarings; ++i) sum = bigMul(sum, sum, n);
    return bigScale(sum, kk);
}

// Ziv's loop on exp(y ln x), relative error below 2^(30 - 64 n), at 128 .. 1024 bits; past
// that (no known case needs it) the last approximation's rounding is returned.
double powAccurate(double x, double y, bool negative) {
    double result = 0.0;
    for (int n = 2; n <= 16; n *= 2) {
        BigFloat v = bigExp(bigMul(bigFromDouble(y), bigLog(x, n), n), n);
        if (negative) v = bigNeg(v);
        if (bigRoundIfDecided(v, v.exponent + 30 - std::int64_t{64} * n, n, result)) return result;
        result = bigToDouble(v, n);
    }
    return result;
}

// ---- The function -----------------------------------------------------------------------

bool isInteger(double y) { return std::trunc(y) == y; }
bool isOddInteger(double y) { return std::fabs(y) < 0x1p53 && isInteger(y) && std::fmod(y, 2.0) != 0.0; }

// Every argument the fast route below does not take: special values, negative bases,
// subnormal bases, exponents that are powers of two or far from 1, results outside the normal
// range and the undecided roundings.
[[gnu::noinline, gnu::cold]] double powSlow(double x, double y, EvaluationPath& path) {
    path = EvaluationPath::special;
    if (y == 0.0 || x == 1.0) return 1.0;
    if (std::isnan(x)) return x;
    if (std::isnan(y)) return y;
    double ax = std::fabs(x);
    if (std::isinf(y)) {
        if (ax == 1.0) return 1.0;
        return (ax < 1.0) == (y > 0) ? 0.0 : kInfinity;
    }
    bool odd = isOddInteger(y);
    if (x == 0.0) {
        if (y < 0) return odd ? std::copysign(kInfinity, x) : kInfinity;
        return odd ? x : 0.0;
    }
    if (std::isinf(x)) {
        double magnitude = y < 0 ? 0.0 : kInfinity;
        return odd && x < 0 ? -magnitude : magnitude;
    }
    if (x < 0 && !isInteger(y)) return std::numeric_limits<double>::quiet_NaN();
    bool negative = x < 0 && odd;

    // Exponents whose powers the correctly rounded operations give directly, and roots.
    if (y == 1.0) return x;
    if (y == 2.0) return x * x;
    if (y == -1.0) return 1.0 / x;
    if (y == 0.5) return std::sqrt(x);
    double root = 0.0;
    if (ax > 0x1p-900 && ax < 0x1p900 &&
        ((y == -0.25 && inverseFourthRoot(ax, root)) || rootPower(ax, y, root))) {
        path = EvaluationPath::fast;
        return root;
    }

    double z = 0.0;
    double out = 0.0;
    if (std::fabs(y) < 0x1p65) {
        bool subnormal = ax < 0x1p-1022;
        bool decided = powLogExp<false>(subnormal ? ax * 0x1p64 : ax, subnormal ? -64 : 0, y, z, out);
        if (decided) {
            path = EvaluationPath::fast;
            return negative ? -out : out;
        }
    } else {  // |y| >= 2^65: an even integer, and |y ln x| > 2^13 unless x = -1
        if (ax == 1.0) return 1.0;
        z = ax > 1.0 ? y : -y;
    }
    if (z > 710.1) return negative ? -kInfinity : kInfinity;  // above 2^1024.5
    if (z < -745.9) return negative ? -0.0 : 0.0;             // below 2^-1076
    path = EvaluationPath::accurate;
    double exact = 0.0;
    if (exactPower(ax, y, exact)) return negative ? -exact : exact;
    return powAccurate(ax, y, negative);
}

[[gnu::always_inline]] inline double powImpl(double x, double y, EvaluationPath& path) {
    u64 ix = std::bit_cast<u64>(x);
    u64 iy = std::bit_cast<u64>(y);
    // x positive, normal and finite
    if (ix - (u64{1} << 52) < (u64{0x7fe} << 52)) {
        double out = 0.0;
        double z = 0.0;
        // |y| in [2^-65, 2^10) and not a power of two
        if (((iy >> 52) & 0x7ff) - 958 < 75 && (iy << 12) != 0 && powLogExp<true>(x, 0, y, z, out)) {
            path = EvaluationPath::fast;
            return out;
        }
        if (y == -0.25 && x > 0x1p-900 && x < 0x1p900 && inverseFourthRoot(x, out)) {
            path = EvaluationPath::fast;
            return out;
        }
    }
    return powSlow(x, y, path);
}

}  // namespace

double powWithPath(double x, double y, EvaluationPath& path) { return powImpl(x, y, path); }

}  // namespace detail

double pow(double x, double y) {
    detail::EvaluationPath path{};
    return detail::powImpl(x, y, path);
}

}  // namespace vorn::math
