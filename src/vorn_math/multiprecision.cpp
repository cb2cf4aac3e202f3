#include "multiprecision.hpp"

#include <bit>
#include <cmath>

#include "bits.hpp"
#include "tables.hpp"

namespace vorn::math::detail {

namespace {

constexpr int kBufferLimbs = 2 * kMaxLimbs + 4;

// The value 0.buffer[0] buffer[1] ... buffer[length - 1] (base 2^64) * 2^exponent, normalised
// and truncated to n limbs.
BigFloat normalise(const u64* buffer, int length, std::int64_t exponent, bool negative, int n) {
    BigFloat out;
    int first = 0;
    while (first < length && buffer[first] == 0) ++first;
    if (first == length) return out;
    int shift = std::countl_zero(buffer[first]);
    out.zero = false;
    out.negative = negative;
    out.exponent = exponent - 64 * static_cast<std::int64_t>(first) - shift;
    for (int i = 0; i < n; ++i) {
        int at = first + i;
        u64 high = at < length ? buffer[at] : 0;
        u64 low = at + 1 < length ? buffer[at + 1] : 0;
        out.limbs[static_cast<std::size_t>(i)] = shift == 0 ? high : (high << shift) | (low >> (64 - shift));
    }
    return out;
}

// |a| <=> |b| over the first n limbs.
int compareMagnitude(const BigFloat& a, const BigFloat& b, int n) {
    if (a.exponent != b.exponent) return a.exponent < b.exponent ? -1 : 1;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        if (a.limbs[i] != b.limbs[i]) return a.limbs[i] < b.limbs[i] ? -1 : 1;
    }
    return 0;
}

// The mantissa 0.limbs as a double (53 bits, truncated).
double leadingMantissa(const BigFloat& a) { return std::ldexp(static_cast<double>(a.limbs[0] >> 11), -53); }

}  // namespace

BigFloat bigOne() {
    BigFloat r;
    r.zero = false;
    r.limbs[0] = u64{1} << 63;
    r.exponent = 1;
    return r;
}

BigFloat bigHalfPi(int n) { return normalise(kHalfPiLimbs, 20, 1, false, n); }

BigFloat bigFromDouble(double x) {
    u64 bits = std::bit_cast<u64>(x);
    u64 field = (bits >> 52) & 0x7ff;
    u64 mantissa = bits & ((u64{1} << 52) - 1);
    std::int64_t exponent = -1074;
    if (field != 0) {
        mantissa |= u64{1} << 52;
        exponent = static_cast<std::int64_t>(field) - 1075;
    }
    u64 buffer[1] = {mantissa << 11};
    return normalise(buffer, 1, exponent + 53, (bits >> 63) != 0, 1);
}

BigFloat bigFromLimbs(const std::uint64_t* limbs, int count, std::int64_t exponent, int n) {
    return normalise(limbs, count, exponent, false, n);
}

BigFloat bigFromFraction(const std::uint64_t* words, int count, bool negative, int n) {
    return normalise(words, count, 0, negative, n);
}

BigFloat bigNeg(BigFloat a) {
    a.negative = !a.negative;
    return a;
}

BigFloat bigScale(BigFloat a, std::int64_t powerOfTwo) {
    if (!a.zero) a.exponent += powerOfTwo;
    return a;
}

BigFloat bigAdd(const BigFloat& a, const BigFloat& b, int n) {
    if (b.zero) return normalise(a.limbs.data(), a.zero ? 0 : n, a.exponent, a.negative, n);
    if (a.zero) return normalise(b.limbs.data(), n, b.exponent, b.negative, n);
    const BigFloat* x = &a;
    const BigFloat* y = &b;
    if (compareMagnitude(a, b, n) < 0) {
        x = &b;
        y = &a;
    }
    std::int64_t distance = x->exponent - y->exponent;
    u64 sum[kBufferLimbs] = {};
    u64 shifted[kBufferLimbs] = {};
    for (int i = 0; i < n; ++i) sum[1 + i] = x->limbs[static_cast<std::size_t>(i)];
    int length = n + 1;
    if (distance < 64 * static_cast<std::int64_t>(n + 1)) {
        int words = static_cast<int>(distance / 64);
        int bits = static_cast<int>(distance % 64);
        for (int i = 0; i < n; ++i) {
            u64 limb = y->limbs[static_cast<std::size_t>(i)];
            shifted[1 + words + i] |= limb >> bits;
            if (bits != 0) shifted[2 + words + i] |= limb << (64 - bits);
        }
        length = n + words + 2;
    }
    if (x->negative == y->negative) {
        u64 carry = 0;
        for (int i = length - 1; i >= 0; --i) {
            u128 s = static_cast<u128>(sum[i]) + shifted[i] + carry;
            sum[i] = static_cast<u64>(s);
            carry = static_cast<u64>(s >> 64);
        }
    } else {
        u64 borrow = 0;
        for (int i = length - 1; i >= 0; --i) {
            u128 d = static_cast<u128>(sum[i]) - shifted[i] - borrow;
            sum[i] = static_cast<u64>(d);
            borrow = static_cast<u64>(d >> 64) != 0 ? 1 : 0;
        }
    }
    return normalise(sum, length, x->exponent + 64, x->negative, n);
}

BigFloat bigSub(const BigFloat& a, const BigFloat& b, int n) { return bigAdd(a, bigNeg(b), n); }

BigFloat bigMul(const BigFloat& a, const BigFloat& b, int n) {
    if (a.zero || b.zero) return BigFloat{};
    u64 product[kBufferLimbs] = {};  // big-endian: product[0] is the most significant limb
    for (int i = n - 1; i >= 0; --i) {
        u64 carry = 0;
        for (int j = n - 1; j >= 0; --j) {
            u128 t = static_cast<u128>(a.limbs[static_cast<std::size_t>(i)]) *
                         b.limbs[static_cast<std::size_t>(j)] +
                     product[i + j + 1] + carry;
            product[i + j + 1] = static_cast<u64>(t);
            carry = static_cast<u64>(t >> 64);
        }
        product[i] = carry;
    }
    return normalise(product, 2 * n, a.exponent + b.exponent, a.negative != b.negative, n);
}

BigFloat bigMulSmall(const BigFloat& a, std::uint32_t m, int n) {
    if (a.zero || m == 0) return BigFloat{};
    u64 product[kBufferLimbs] = {};
    u64 carry = 0;
    for (int i = n - 1; i >= 0; --i) {
        u128 t = static_cast<u128>(a.limbs[static_cast<std::size_t>(i)]) * m + carry;
        product[i + 1] = static_cast<u64>(t);
        carry = static_cast<u64>(t >> 64);
    }
    product[0] = carry;
    return normalise(product, n + 1, a.exponent + 64, a.negative, n);
}

BigFloat bigDivSmall(const BigFloat& a, std::uint32_t d, int n) {
    if (a.zero) return BigFloat{};
    u64 quotient[kBufferLimbs] = {};
    u128 remainder = 0;
    for (int i = 0; i < n + 1; ++i) {
        u128 current = (remainder << 64) | (i < n ? a.limbs[static_cast<std::size_t>(i)] : 0);
        quotient[i] = static_cast<u64>(current / d);
        remainder = current % d;
    }
    return normalise(quotient, n + 1, a.exponent, a.negative, n);
}

namespace {

// Newton steps needed to take a 2^-50 start to 2^-(64 n + 8).
int newtonSteps(int n) {
    int steps = 0;
    for (int bits = 50; bits < std::int64_t{64} * n + 8; bits *= 2) ++steps;
    return steps + 1;
}

}  // namespace

BigFloat bigReciprocal(const BigFloat& a, int n) {
    BigFloat m = a;  // the mantissa in [1/2, 1)
    m.exponent = 0;
    m.negative = false;
    BigFloat z = bigFromDouble(1.0 / leadingMantissa(m));
    for (int step = newtonSteps(n); step > 0; --step) {
        BigFloat residual = bigSub(bigOne(), bigMul(m, z, n), n);
        z = bigAdd(z, bigMul(z, residual, n), n);
    }
    z.exponent -= a.exponent;
    z.negative = a.negative;
    return z;
}

BigFloat bigSqrt(const BigFloat& a, int n) {
    if (a.zero) return a;
    BigFloat m = a;  // the mantissa in [1/4, 1), with an even exponent left over
    std::int64_t exponent = a.exponent;
    m.exponent = 0;
    if ((exponent & 1) != 0) {
        m.exponent = -1;
        exponent += 1;
    }
    BigFloat y = bigFromDouble(1.0 / std::sqrt(std::ldexp(leadingMantissa(m), static_cast<int>(m.exponent))));
    for (int step = newtonSteps(n); step > 0; --step) {
        BigFloat residual = bigSub(bigOne(), bigMul(m, bigMul(y, y, n), n), n);
        y = bigAdd(y, bigScale(bigMul(y, residual, n), -1), n);
    }
    BigFloat root = bigMul(m, y, n);
    root.exponent += exponent / 2;
    return root;
}

double bigToDouble(const BigFloat& a, int n) {
    if (a.zero) return 0.0;
    double sign = a.negative ? -1.0 : 1.0;
    if (a.exponent > 1024) return sign * HUGE_VAL;
    std::int64_t kept = a.exponent + 1074;
    if (kept > 53) kept = 53;
    if (kept < 0) return sign * 0.0;
    u64 top = a.limbs[0];
    u64 quotient = kept == 0 ? 0 : top >> (64 - kept);
    bool roundBit = ((top >> (63 - kept)) & 1) != 0;
    bool sticky = (top & ((u64{1} << (63 - kept)) - 1)) != 0;
    for (std::size_t i = 1; i < static_cast<std::size_t>(n); ++i) sticky = sticky || a.limbs[i] != 0;
    if (roundBit && (sticky || (quotient & 1) != 0)) ++quotient;
    return sign * std::ldexp(static_cast<double>(quotient), static_cast<int>(a.exponent - kept));
}

bool bigRoundIfDecided(const BigFloat& a, std::int64_t errorExponent, int n, double& out) {
    if (a.zero) return false;
    if (errorExponent < a.exponent - std::int64_t{64} * n) errorExponent = a.exponent - std::int64_t{64} * n;
    if (errorExponent > a.exponent - 3) return false;
    BigFloat bound = bigOne();
    bound.exponent = errorExponent + 1;
    // Both sums are exact in n + 1 limbs: multiples of 2^(exponent - 64 n) below 2^(exponent + 1).
    double down = bigToDouble(bigSub(a, bound, n + 1), n + 1);
    double up = bigToDouble(bigAdd(a, bound, n + 1), n + 1);
    if (down != up) return false;
    out = up;
    return true;
}

}  // namespace vorn::math::detail
