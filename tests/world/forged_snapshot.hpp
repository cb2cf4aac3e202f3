// A snapshot's bytes with their checksum made to match again, as a forger would: for the tests
// that check that values no World holds are refused behind a valid checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn::world_test {

// The last four bytes set to the CRC-32 (IEEE 802.3) of the others, little-endian.
inline std::vector<std::byte> resealed(std::vector<std::byte> bytes) {
    std::uint32_t c = 0xFFFFFFFFU;
    for (std::size_t i = 0; i + 4 < bytes.size(); ++i) {
        c ^= static_cast<std::uint32_t>(bytes[i]);
        for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
    }
    c ^= 0xFFFFFFFFU;
    for (std::size_t k = 0; k < 4; ++k)
        bytes[bytes.size() - 4 + k] = static_cast<std::byte>((c >> (8 * k)) & 0xFFU);
    return bytes;
}

}  // namespace vorn::world_test
