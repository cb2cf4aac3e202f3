#pragma once
// A small binary floating-point type of up to kMaxLimbs 64-bit limbs for the accurate path of
// the correctly rounded functions: fixed storage (no allocation), precision chosen per call in
// limbs. Every operation truncates its exact result to the requested n limbs, so its relative
// error is below 2^(1 - 64 n); docs/portability.md, "Correctly rounded functions", uses that bound.

#include <array>
#include <cstdint>

namespace vorn::math::detail {

inline constexpr int kMaxLimbs = 17;  // 16 for the widest working precision, one for bounds

// value = (negative ? -1 : 1) * 0.limbs[0] limbs[1] ... (base 2^64) * 2^exponent, with the top
// bit of limbs[0] set, or zero when zero is set.
struct BigFloat {
    std::array<std::uint64_t, kMaxLimbs> limbs{};
    std::int64_t exponent = 0;
    bool negative = false;
    bool zero = true;
};

BigFloat bigOne();
BigFloat bigFromDouble(double x);
// pi/2 truncated to n limbs.
BigFloat bigHalfPi(int n);
// The integer-limb constant 0.limbs * 2^exponent, truncated to n limbs.
BigFloat bigFromLimbs(const std::uint64_t* limbs, int count, std::int64_t exponent, int n);
// The fixed-point value sum of words[i] 2^(-64 (i + 1)) for i < count, truncated to n limbs.
BigFloat bigFromFraction(const std::uint64_t* words, int count, bool negative, int n);

BigFloat bigNeg(BigFloat a);
BigFloat bigScale(BigFloat a, std::int64_t powerOfTwo);  // a * 2^powerOfTwo, exact
BigFloat bigAdd(const BigFloat& a, const BigFloat& b, int n);
BigFloat bigSub(const BigFloat& a, const BigFloat& b, int n);
BigFloat bigMul(const BigFloat& a, const BigFloat& b, int n);
BigFloat bigMulSmall(const BigFloat& a, std::uint32_t m, int n);
BigFloat bigDivSmall(const BigFloat& a, std::uint32_t d, int n);
// 1/a and sqrt(a) (a > 0) with relative error below 2^(8 - 64 n).
BigFloat bigReciprocal(const BigFloat& a, int n);
BigFloat bigSqrt(const BigFloat& a, int n);

// The nearest double, ties to even, with gradual underflow and overflow to infinity.
double bigToDouble(const BigFloat& a, int n);

// When every value within 2^errorExponent of a rounds to the same double, stores it in out and
// returns true. Needs n < kMaxLimbs.
bool bigRoundIfDecided(const BigFloat& a, std::int64_t errorExponent, int n, double& out);

}  // namespace vorn::math::detail
