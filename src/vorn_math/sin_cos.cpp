// sin and cos, correctly rounded: a double-double fast path over a table of sin(i pi/1024), and
// a multiprecision Taylor series when the fast path cannot decide the rounding.

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "bits.hpp"
#include "correctly_rounded.hpp"
#include "double_double.hpp"
#include "evaluation_path.hpp"
#include "multiprecision.hpp"
#include "reduce_half_pi.hpp"
#include "tables.hpp"

namespace vorn::math {

namespace detail {

namespace {

__extension__ using i128 = __int128;

// The fast path's bound on |result - exact|: kFastRelativeError |result| plus the reduction's
// absolute error (docs/portability.md).
constexpr double kFastRelativeError = 0x1p-67;
constexpr double kReductionErrorPerStep = 0x1p-110;  // per unit of |N| (Cody and Waite)
constexpr double kPayneHanekError = 0x1p-125;
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;  // pi/4 rounded up
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr u64 kSignBit = u64{1} << 63;
// |x| in [2^-26, 2^8) takes the inline path; the rest (closed forms, the reduction of larger
// arguments, special values) goes through sinCosOutside.
constexpr u64 kInlineLowBits = 0x3e50000000000000;   // 2^-26
constexpr u64 kInlineHighBits = 0x4070000000000000;  // 2^8

double sinCosAccurate(double x, bool cosine);

// x = N pi/1024 + rh + rl, with |rh + rl| <= pi/2048 (a little more from rounding) and
// |x - N pi/1024 - rh - rl| <= absError.
struct Reduced {
    unsigned n;
    double rh;
    double rl;
    double absError;
};

// For |x| >= 2^16, finite: x 2/pi = k + f from the integer reduction (|f| <= 1/2, error
// below 2^-127), 512 f = N' + g with |g| <= 1/2, r = g pi/1024. False when g is 0 (the
// accurate path takes over).
bool reducePayneHanek(double x, Reduced& out) {
    u64 words[2];
    bool negative = false;
    int quadrant = reduceHalfPi(std::fabs(x), 2, words, negative);
    u128 magnitude = (static_cast<u128>(words[0]) << 64) | words[1];  // |f| 2^128 <= 2^127
    u128 f = negative ? 0 - magnitude : magnitude;                    // f 2^128, two's complement
    constexpr u128 kLow119 = (u128{1} << 119) - 1;
    int steps = static_cast<int>(static_cast<i128>(f) >> 119);  // floor(512 f)
    u128 g = f & kLow119;                                       // (512 f - steps) 2^119
    bool gNegative = g > (kLow119 >> 1);
    if (gNegative) {
        steps += 1;
        g = (u128{1} << 119) - g;
    }
    if (g == 0) return false;
    int zeros = (g >> 64) != 0 ? std::countl_zero(static_cast<u64>(g >> 64))
                               : 64 + std::countl_zero(static_cast<u64>(g));
    g <<= zeros;  // |g| = g 2^(-128 - zeros) after the shift (g in units of 2^-128 before it)
    double hi = static_cast<double>(static_cast<u64>(g >> 75)) * powerOfTwo(-53 - zeros);
    double lo =
        static_cast<double>(static_cast<u64>((g >> 22) & ((u64{1} << 53) - 1))) * powerOfTwo(-106 - zeros);
    DoubleDouble r = mulDD(fastTwoSum(hi, lo), DoubleDouble{kHalfPiHi, kHalfPiLo});  // |g| 2^-128 pi/2
    unsigned n = 512u * static_cast<unsigned>(quadrant) + static_cast<unsigned>(steps);
    if (gNegative != (x < 0)) r = {-r.hi, -r.lo};
    if (x < 0) n = 0u - n;
    out = {n, r.hi, r.lo, kPayneHanekError};
    return true;
}

// sin(N pi/1024 + r) (cos x being sin(x + pi/2), N + 512), rounded when the fast path decides,
// else from the accurate path. With a = i pi/1024 the angle N pi/1024 folded into [0, pi/2]
// and S, C = sin a, cos a from the table: sin(a + r) = S + C r + S (cos r - 1) + C (sin r - r),
// with C r = C_high rh_high (exact) + the rest, the last two terms in double. The other
// quadrants swap S and C and change the sign of S or of the result.
[[gnu::always_inline]] inline double sinCosKernel(Reduced red, double x, bool cosine, EvaluationPath& path) {
    constexpr double kSigns[2] = {1.0, -1.0};
    unsigned quadrant = (red.n >> 9) & 3;
    unsigned i = red.n & 511;
    unsigned odd = quadrant & 1;
    unsigned ia = i + ((512 - 2 * i) & (0u - odd));  // odd ? 512 - i : i
    u64 resultSign = static_cast<u64>((quadrant >> 1) ^ odd) << 63;
    const SinPiEntry& s = kSinPi1024[ia];
    const SinPiEntry& c = kSinPi1024[512 - ia];
    double sHi = s.hi * kSigns[odd];
    double sLo = s.lo * kSigns[odd];
    double rh = red.rh;
    double rl = red.rl;

    DoubleDouble r2 = split(rh);
    double p = c.high * r2.hi;                                                // exact: 26 by 26 bits
    DoubleDouble head = fastTwoSum(sHi, p);                                   // |S| >= |C r| unless S = 0
    double rest = (c.low * r2.hi + sLo) + (c.hi * (r2.lo + rl) + c.lo * rh);  // c.low r2.hi exact

    double z = rh * (rh + 2.0 * rl);  // r^2
    double cosMinusOne = z * (-0.5 + z * (0x1.5555555555555p-5 + z * -0x1.6c16c16c16c17p-10));
    double sinRatioMinusOne =
        z * (-0x1.5555555555555p-3 + z * (0x1.1111111111111p-7 + z * -0x1.a01a01a01a01ap-13));
    double tail = sHi * cosMinusOne + (c.hi * rh) * sinRatioMinusOne;
    double lo = head.lo + (rest + tail);

    double err = kFastRelativeError * std::fabs(head.hi) + red.absError;
    double out = 0.0;
    if (roundIfDecided(DoubleDouble{head.hi, lo}, err, out)) [[likely]] {
        path = EvaluationPath::fast;
        return flipSign(out, resultSign);
    }
    path = EvaluationPath::accurate;
    return sinCosAccurate(x, cosine);
}

// Cody and Waite's reduction for 2^8 <= |x| < 2^16: N < 2^25, N Part1 and N Part2 exact,
// x - N Part1 exact (Sterbenz); rl normalised, as N Part3 can reach 2^-42.
Reduced reduceMedium(double x) {
    double shifted = x * kInvPiOver1024 + 0x1.8p52;
    double steps = shifted - 0x1.8p52;
    auto n = static_cast<unsigned>(std::bit_cast<u64>(shifted));  // steps mod 2^32
    double t = x - steps * kPiOver1024Medium1;
    DoubleDouble r = twoSum(t, -(steps * kPiOver1024Medium2));
    r = fastTwoSum(r.hi, r.lo - steps * kPiOver1024Medium3);
    return {n, r.hi, r.lo, std::fabs(steps) * kReductionErrorPerStep};
}

// Arguments outside [2^-26, 2^8) in magnitude: special values, closed forms, and the
// reduction of large arguments.
[[gnu::noinline, gnu::cold]] double sinCosOutside(double x, bool cosine, EvaluationPath& path) {
    double ax = std::fabs(x);
    path = EvaluationPath::special;
    if (!(ax < kInfinity)) return ax == kInfinity ? std::numeric_limits<double>::quiet_NaN() : x;
    // Below these, x - x^3/6 rounds to x and 1 - x^2/2 to 1.
    if (!cosine && ax < 0x1p-26) return x;
    if (cosine && ax < 0x1p-27) return 1.0;
    Reduced red{0, x, 0.0, 0.0};
    if (ax >= 0x1p8 && ax < 0x1p16) {
        red = reduceMedium(x);
    } else if (ax >= 0x1p16 && !reducePayneHanek(x, red)) {
        path = EvaluationPath::accurate;
        return sinCosAccurate(x, cosine);
    }
    if (cosine) red.n += 512;
    return sinCosKernel(red, x, cosine, path);
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
[[gnu::noinline, gnu::cold]] double sinCosAccurate(double x, bool cosine) {
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

// Cody and Waite's reduction inline, for |x| < 2^8: N = round(x 1024/pi) < 2^17, N Part1 and
// N Part2 exact, x - N Part1 exact (Sterbenz), |N Part3| < 2^-68.
[[gnu::always_inline]] inline double sinCos(double x, bool cosine, EvaluationPath& path) {
    u64 absBits = std::bit_cast<u64>(x) & ~kSignBit;
    if (absBits - kInlineLowBits >= kInlineHighBits - kInlineLowBits) [[unlikely]]
        return sinCosOutside(x, cosine, path);
    double shifted = x * kInvPiOver1024 + 0x1.8p52;
    double steps = shifted - 0x1.8p52;
    auto n = static_cast<unsigned>(std::bit_cast<u64>(shifted));  // steps mod 2^32
    double t = x - steps * kPiOver1024Small1;
    DoubleDouble r = twoSum(t, -(steps * kPiOver1024Small2));
    Reduced red{cosine ? n + 512 : n, r.hi, r.lo - steps * kPiOver1024Small3,
                std::fabs(steps) * kReductionErrorPerStep};
    return sinCosKernel(red, x, cosine, path);
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
