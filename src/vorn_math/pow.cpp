// pow, correctly rounded: x^y = 2^(y log2 x) with a double-double logarithm and exponential
// over tables in the fast path, an exact test for the results that are doubles or midpoints
// between doubles, and exp(y ln x) in multiprecision when the fast path cannot decide.

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

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double powerOfTwo(int e) { return std::bit_cast<double>(static_cast<u64>(e + 1023) << 52); }

// log2(x) for finite x > 0, relative error below 2^-72 (docs/portability.md).
DoubleDouble log2Fast(double x) {
    int e = 0;
    double m = std::frexp(x, &e);  // exact; m in [1/2, 1)
    m *= 2.0;
    e -= 1;
    int i = static_cast<int>((std::bit_cast<u64>(m) >> 45) & 127);  // the top 7 bits of m's fraction
    if (i >= 53) e += 1;
    DoubleDouble p = twoProduct(m, kLogInverse[i]);
    DoubleDouble r = twoSum(p.hi - 1.0, p.lo);  // m inv - 1, exact; |r| < 2^-7
    // ln(1 + r) = r (1 + r (-1/2 + r (1/3 + r (-1/4 + r t))))
    double t = 0x1.999999999999ap-3 +
               r.hi * (-0x1.5555555555555p-3 +
                       r.hi * (0x1.2492492492492p-3 +
                               r.hi * (-0x1.0000000000000p-3 +
                                       r.hi * (0x1.c71c71c71c71cp-4 +
                                               r.hi * (-0x1.999999999999ap-4 +
                                                       r.hi * (0x1.745d1745d1746p-4 +
                                                               r.hi * (-0x1.5555555555555p-4 +
                                                                       r.hi * 0x1.3b13b13b13b14p-4)))))));
    double c4 = -0.25 + r.hi * t;
    DoubleDouble c3 = fastTwoSum(kThirdHi, kThirdLo + r.hi * c4);
    DoubleDouble rc3 = mulDD(r, c3);
    DoubleDouble c2 = twoSum(-0.5, rc3.hi);
    c2 = fastTwoSum(c2.hi, c2.lo + rc3.lo);
    DoubleDouble rc2 = mulDD(r, c2);
    DoubleDouble c1 = twoSum(1.0, rc2.hi);
    c1 = fastTwoSum(c1.hi, c1.lo + rc2.lo);
    DoubleDouble ln1p = mulDD(r, c1);
    DoubleDouble log2m = mulDD(ln1p, DoubleDouble{kInvLn2Hi, kInvLn2Lo});
    DoubleDouble base = twoSum(static_cast<double>(e), kLog2OfInverse[i].hi);
    base = fastTwoSum(base.hi, base.lo + kLog2OfInverse[i].lo);
    return addDD(base, log2m);
}

// 2^z for -1022 <= z < 1024 as a mantissa in [2^-1/256, 2) (relative error below 2^-75) and
// an exponent k: 2^z = mantissa 2^k.
DoubleDouble exp2Fast(DoubleDouble z, int& k) {
    double n = (z.hi * 128.0 + 0x1.8p52) - 0x1.8p52;
    auto ni = static_cast<std::int64_t>(n);
    k = static_cast<int>(ni >> 7);
    int j = static_cast<int>(ni & 127);
    DoubleDouble f = twoSum(z.hi - n * 0x1p-7, z.lo);  // |f| <= 2^-8
    DoubleDouble g = mulDD(f, DoubleDouble{kLn2Hi, kLn2Lo});
    // exp(g) = 1 + g + g^2/2 + g^3 (1/6 + g (1/24 + ...))
    double q =
        g.hi * g.hi * g.hi *
        (0x1.5555555555555p-3 +
         g.hi *
             (0x1.5555555555555p-5 +
              g.hi * (0x1.1111111111111p-7 + g.hi * (0x1.6c16c16c16c17p-10 + g.hi * 0x1.a01a01a01a01ap-13))));
    DoubleDouble square = twoProduct(g.hi, g.hi);
    DoubleDouble half{0.5 * square.hi, 0.5 * (square.lo + 2.0 * g.hi * g.lo)};
    DoubleDouble sum = addDD(g, half);
    sum = addDD(sum, DoubleDouble{q, 0.0});
    DoubleDouble e = twoSum(1.0, sum.hi);
    e = fastTwoSum(e.hi, e.lo + sum.lo);
    return mulDD(DoubleDouble{kExp2Table[j].hi, kExp2Table[j].lo}, e);
}

// x^y for y = -1/2 and +-1/4 (2^-900 < x < 2^900) through double-double square roots and a
// division: relative error below 2^-98, so the test uses 2^-95. False for other y or when the
// rounding is not decided.
bool rootPower(double x, double y, double& out) {
    DoubleDouble v{x, 0.0};
    if (y == -0.5) {
        v = divDD(DoubleDouble{1.0, 0.0}, sqrtDD(v));
    } else if (y == 0.25 || y == -0.25) {
        v = sqrtDD(sqrtDD(v));
        if (y < 0) v = divDD(DoubleDouble{1.0, 0.0}, v);
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

double powImpl(double x, double y, EvaluationPath& path) {
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
    if (std::fabs(y) <= 0.5 && ax > 0x1p-900 && ax < 0x1p900 && rootPower(ax, y, root)) {
        path = EvaluationPath::fast;
        return root;
    }

    DoubleDouble log2x = log2Fast(ax);
    double zHi = y * log2x.hi;
    if (zHi > 1024.5) return negative ? -kInfinity : kInfinity;
    if (zHi < -1076.0) return negative ? -0.0 : 0.0;
    path = EvaluationPath::fast;
    if (zHi > -1021.0 && zHi < 1023.5) {
        DoubleDouble z = mulDD(log2x, y);
        int k = 0;
        DoubleDouble mantissa = exp2Fast(z, k);
        double err = std::fabs(mantissa.hi) * (std::fabs(z.hi) * 0x1p-71 + 0x1p-72);
        double out = 0.0;
        if (roundIfDecided(mantissa, err, out)) {
            // out * 2^k: exact, or overflow to infinity when out 2^k rounds to 2^1024
            double scaled = k > 1000 ? out * powerOfTwo(k - 1000) * powerOfTwo(1000) : out * powerOfTwo(k);
            return negative ? -scaled : scaled;
        }
    }
    path = EvaluationPath::accurate;
    double exact = 0.0;
    if (exactPower(ax, y, exact)) return negative ? -exact : exact;
    return powAccurate(ax, y, negative);
}

}  // namespace

double powWithPath(double x, double y, EvaluationPath& path) { return powImpl(x, y, path); }

}  // namespace detail

double pow(double x, double y) {
    detail::EvaluationPath path{};
    return detail::powImpl(x, y, path);
}

}  // namespace vorn::math
