#pragma once
// Integer words and exact operations on a double's bits, shared by the correctly rounded
// functions.

#include <bit>
#include <cstdint>

namespace vorn::math::detail {

using u64 = std::uint64_t;
__extension__ using u128 = unsigned __int128;

// 2^e for a normal result (-1022 <= e <= 1023).
inline double powerOfTwo(int e) { return std::bit_cast<double>(static_cast<u64>(e + 1023) << 52); }

// v with its sign bit flipped when sign is the sign bit (1 << 63), unchanged when it is 0.
inline double flipSign(double v, u64 sign) { return std::bit_cast<double>(std::bit_cast<u64>(v) ^ sign); }

}  // namespace vorn::math::detail
