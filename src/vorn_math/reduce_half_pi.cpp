#include "reduce_half_pi.hpp"

#include <bit>

#include "bits.hpp"
#include "tables.hpp"

namespace vorn::math::detail {

namespace {

constexpr int kTableWords = static_cast<int>(sizeof(kTwoOverPiWords) / sizeof(kTwoOverPiWords[0]));

// Bits start .. start + 63 of the big-endian number p[0..length), bit 0 being the lowest.
u64 bitsAt(const u64* p, int length, std::int64_t start) {
    auto word = [&](std::int64_t i) -> u64 { return i < length ? p[length - 1 - i] : 0; };
    std::int64_t index = start / 64;
    int shift = static_cast<int>(start % 64);
    u64 low = word(index) >> shift;
    return shift == 0 ? low : low | (word(index + 1) << (64 - shift));
}

}  // namespace

int reduceHalfPi(double ax, int fracWords, std::uint64_t* words, bool& negative) {
    u64 bits = std::bit_cast<u64>(ax);
    u64 mantissa = (bits & ((u64{1} << 52) - 1)) | (u64{1} << 52);
    std::int64_t exponent =
        static_cast<std::int64_t>((bits >> 52) & 0x7ff) - 1075;  // ax = mantissa 2^exponent
    std::int64_t fracBits = 64 * static_cast<std::int64_t>(fracWords);
    // Words whose products are multiples of 4 are left out; the ones past `last` weigh below
    // 2^(53 + lowest) <= 2^(-fracBits - 11).
    std::int64_t first = exponent >= 66 ? (exponent - 2) / 64 : 0;
    std::int64_t last = (exponent + fracBits + 64 + 63) / 64 - 1;
    if (last >= kTableWords) last = kTableWords - 1;  // unreachable for doubles and fracWords <= 20
    int count = static_cast<int>(last - first + 1);
    std::int64_t lowest = exponent - 64 * (last + 1);  // the weight of the product's lowest bit

    u64 product[kTableWords + 1] = {};
    u64 carry = 0;
    for (int i = count - 1; i >= 0; --i) {
        u128 t = static_cast<u128>(kTwoOverPiWords[first + i]) * mantissa + carry;
        product[i + 1] = static_cast<u64>(t);
        carry = static_cast<u64>(t >> 64);
    }
    product[0] = carry;
    int length = count + 1;

    int integer = static_cast<int>(bitsAt(product, length, -lowest) & 3);
    for (int w = 0; w < fracWords; ++w)
        words[w] = bitsAt(product, length, -lowest - std::int64_t{64} * (w + 1));
    negative = (words[0] >> 63) != 0;
    if (negative) {  // f = fraction - 1: its magnitude is the two's complement of the fraction
        integer += 1;
        u64 add = 1;
        for (int w = fracWords - 1; w >= 0; --w) {
            words[w] = ~words[w] + add;
            add = (add != 0 && words[w] == 0) ? 1 : 0;
        }
    }
    return integer & 3;
}

}  // namespace vorn::math::detail
