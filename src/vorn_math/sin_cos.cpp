// sin and cos, correctly rounded: a double-double fast path over a table of sin and cos at
// j/64, and a multiprecision Taylor series when the fast path cannot decide the rounding.

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "correctly_rounded.hpp"
#include "double_double.hpp"
#include "evaluation_path.hpp"
#include "multiprecision.hpp"
#include "reduce_half_pi.hpp"
#include "tables.hpp"

namespace vorn::math {

namespace detail {

namespace {

using u64 = std::uint64_t;
__extension__ using u128 = unsigned __int128;

// The fast path's bound on |result - exact| / |exact|, with margin over the analysis.
constexpr double kFastRelativeError = 0x1p-65;
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;  // pi/4 rounded up
constexpr double kInfinity = std::numeric_limits<double>::infinity();

double powerOfTwo(int e) { return std::bit_cast<double>(static_cast<u64>(e + 1023) << 52); }

// ax = k pi/2 + r with |r| <= pi/4 + 2^-30 and r's relative error below 2^-71, for finite
// ax > pi/4; false when |r| is too small for that (rare: the accurate path takes over).
bool reduceFast(double ax, DoubleDouble& r, int& quadrant) {
    if (ax < 0x1p17) {  // Cody and Waite: k < 2^17, so k * kHalfPi1 and k * kHalfPi2 are exact
        double k = (ax * kTwoOverPi + 0x1.8p52) - 0x1.8p52;
        double t1 = ax - k * kHalfPi1;  // exact (Sterbenz)
        DoubleDouble s = twoSum(t1, -(k * kHalfPi2));
        DoubleDouble p = twoProduct(k, kHalfPi3);
        DoubleDouble u = twoSum(s.hi, -p.hi);
        r = fastTwoSum(u.hi, u.lo + (s.lo - p.lo));
        quadrant = static_cast<int>(static_cast<std::int64_t>(k) & 3);
        if (std::fabs(r.hi) >= 0x1p-36) return true;
    }
    u64 words[2];
    bool negative = false;
    quadrant = reduceHalfPi(ax, 2, words, negative);
    u128 f = (static_cast<u128>(words[0]) << 64) | words[1];  // |f| 2^128, error below 2
    int zeros = words[0] != 0 ? std::countl_zero(words[0]) : 64 + std::countl_zero(words[1]);
    if (zeros > 54) return false;  // |f| < 2^-55
    f <<= zeros;
    double hi = static_cast<double>(static_cast<u64>(f >> 75)) * powerOfTwo(-53 - zeros);
    double lo =
        static_cast<double>(static_cast<u64>((f >> 22) & ((u64{1} << 53) - 1))) * powerOfTwo(-106 - zeros);
    r = mulDD(fastTwoSum(hi, lo), DoubleDouble{kHalfPiHi, kHalfPiLo});
    if (negative) r = {-r.hi, -r.lo};
    return true;
}

// sin(r), or cos(r) when cosine, for |r| <= pi/4 + 2^-30 (|r| >= 2^-60 for sin), with a
// relative error below 2^-66.8: r = j/64 + b, |b| <= 2^-7, and the addition formulas.
DoubleDouble sinCosKernel(DoubleDouble r, bool cosine) {
    double jd = (r.hi * 64.0 + 0x1.8p52) - 0x1.8p52;
    int j = static_cast<int>(jd);
    DoubleDouble b = twoSum(r.hi - jd * 0x1p-6, r.lo);
    const SinCosEntry& entry = kSinCos64[j < 0 ? -j : j];
    DoubleDouble s =
        j < 0 ? DoubleDouble{-entry.sinHi, -entry.sinLo} : DoubleDouble{entry.sinHi, entry.sinLo};
    DoubleDouble c{entry.cosHi, entry.cosLo};

    double b2 = b.hi * b.hi;
    // sin b = b (1 + q), cos b = 1 + cb
    double q =
        b2 * (-0x1.5555555555555p-3 +
              b2 * (0x1.1111111111111p-7 + b2 * (-0x1.a01a01a01a01ap-13 + b2 * 0x1.71de3a556c734p-19)));
    DoubleDouble square = twoProduct(b.hi, b.hi);
    double cosTail =
        b2 * b2 * (0x1.5555555555555p-5 + b2 * (-0x1.6c16c16c16c17p-10 + b2 * 0x1.a01a01a01a01ap-16));
    DoubleDouble cb = fastTwoSum(-0.5 * square.hi, -0.5 * (square.lo + 2.0 * b.hi * b.lo) + cosTail);

    if (!cosine) {  // sin(a + b) = S + S cb + C b + C b q
        DoubleDouble cB = mulDD(c, b);
        DoubleDouble t = addDD(cB, mulDD(s, cb));
        t = addDD(t, DoubleDouble{cB.hi * q, 0.0});
        return addDD(s, t);
    }
    // cos(a + b) = C + C cb - S b - S b q
    DoubleDouble sB = mulDD(s, b);
    DoubleDouble t = addDD(mulDD(c, cb), DoubleDouble{-sB.hi, -sB.lo});
    t = addDD(t, DoubleDouble{-(sB.hi * q), 0.0});
    return addDD(c, t);
}

// The Taylor series of sin(r) or cos(r), |r| <= pi/4 + 2^-30, in n limbs: relative error below
// 2^(16 - 64 n) (docs/portability.md).
BigFloat sinCosSeries(const BigFloat& r, bool cosine, int n) {
    BigFloat r2 = bigMul(r, r, n);
    BigFloat term = cosine ? bigOne() : r;
    BigFloat sum = term;
    for (std::uint32_t i = cosine ? 1 : 2;; i += 2) {
        term = bigNeg(bigDivSmall(bigMul(term, r2, n), i * (i + 1), n));
        sum = bigAdd(sum, term, n);
        if (term.zero || term.exponent < sum.exponent - std::int64_t{64} * n - 2) return sum;
    }
}

// Ziv's loop at 128, 256, 512 and 1024 bits. Past 1024 bits (never needed by any double, whose
// hardest cases need about 130) the last approximation's rounding is returned.
double sinCosAccurate(double x, bool cosine) {
    double ax = std::fabs(x);
    double result = 0.0;
    for (int n = 2; n <= 16; n *= 2) {
        BigFloat r = bigFromDouble(ax);
        int quadrant = 0;
        std::int64_t reductionError = std::numeric_limits<std::int32_t>::min();  // log2 of f's relative error
        if (ax > kQuarterPi) {
            u64 words[kMaxReductionWords];
            int fracWords = n + 2;
            bool negative = false;
            quadrant = reduceHalfPi(ax, fracWords, words, negative);
            BigFloat f = bigFromFraction(words, fracWords, negative, n);
            if (f.zero) continue;
            reductionError = 2 - std::int64_t{64} * fracWords - f.exponent;
            r = bigMul(f, bigHalfPi(n), n);
        }
        bool useCos = cosine != ((quadrant & 1) != 0);
        BigFloat v = sinCosSeries(r, useCos, n);
        bool negate = cosine ? (quadrant == 1 || quadrant == 2) : ((quadrant >= 2) != (x < 0));
        if (negate) v = bigNeg(v);
        std::int64_t relative = std::max<std::int64_t>(16 - std::int64_t{64} * n, reductionError) + 1;
        if (bigRoundIfDecided(v, v.exponent + relative, n, result)) return result;
        result = bigToDouble(v, n);
    }
    return result;
}

double sinCos(double x, bool cosine, EvaluationPath& path) {
    double ax = std::fabs(x);
    path = EvaluationPath::special;
    if (!(ax < kInfinity)) return ax == kInfinity ? std::numeric_limits<double>::quiet_NaN() : x;
    // Below these, x - x^3/6 rounds to x and 1 - x^2/2 to 1.
    if (!cosine && ax < 0x1p-26) return x;
    if (cosine && ax < 0x1p-27) return 1.0;
    DoubleDouble r{ax, 0.0};
    int quadrant = 0;
    path = EvaluationPath::accurate;
    if (ax > kQuarterPi && !reduceFast(ax, r, quadrant)) return sinCosAccurate(x, cosine);
    bool useCos = cosine != ((quadrant & 1) != 0);
    DoubleDouble v = sinCosKernel(r, useCos);
    bool negate = cosine ? (quadrant == 1 || quadrant == 2) : ((quadrant >= 2) != (x < 0));
    if (negate) v = {-v.hi, -v.lo};
    double out = 0.0;
    if (roundIfDecided(v, kFastRelativeError * std::fabs(v.hi), out)) {
        path = EvaluationPath::fast;
        return out;
    }
    return sinCosAccurate(x, cosine);
}

}  // namespace

double sinWithPath(double x, EvaluationPath& path) { return sinCos(x, false, path); }
double cosWithPath(double x, EvaluationPath& path) { return sinCos(x, true, path); }

}  // namespace detail

double sin(double x) {
    detail::EvaluationPath path{};
    return detail::sinCos(x, false, path);
}

double cos(double x) {
    detail::EvaluationPath path{};
    return detail::sinCos(x, true, path);
}

}  // namespace vorn::math
