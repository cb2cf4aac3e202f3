// The wire format of server mode: 8-byte headers (tag, body length) and u32 fields, all
// unsigned 32-bit little-endian. Shared by the runner and by parent-side tools.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorn::protocol {

// Messages a parent sends to the runner.
enum class ClientTag : std::uint32_t { exit = 0, query_test_metadata = 4, run_test = 5 };

// Messages the runner sends to its parent.
enum class ServerTag : std::uint32_t { version_string = 0, test_metadata = 3, test_results = 4 };

inline constexpr std::size_t header_size = 8;

// The runner fills its receive buffer from standard input in reads of at most this many bytes.
inline constexpr std::size_t max_read_size = 256;

// Body sizes: run_test carries the test's table position, test_results the position and flags.
inline constexpr std::size_t run_test_body_size = 4;
inline constexpr std::size_t test_results_body_size = 8;

// test_metadata body: string_bytes_len, tests_len, then names and expected_panic_msgs
// (tests_len u32 each), then the string bytes, which start with a 0 byte (offset 0 = no string).
inline constexpr std::size_t test_metadata_fixed_size = 8;

constexpr std::uint64_t testMetadataBytesLen(std::uint64_t tests_len, std::uint64_t string_bytes_len) {
    return test_metadata_fixed_size + 8 * tests_len + string_bytes_len;
}

struct Header {
    std::uint32_t tag;
    std::uint32_t bytes_len;
};

// Flags word of test_results.
inline constexpr std::uint32_t flag_fail = 1u << 0;
inline constexpr std::uint32_t flag_skip = 1u << 1;
inline constexpr std::uint32_t flag_leak = 1u << 2;
inline constexpr unsigned log_err_count_shift = 3;
inline constexpr std::uint32_t log_err_count_max = (1u << 29) - 1;  // 536870911

constexpr std::uint32_t readU32(std::span<const std::byte, 4> bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

constexpr void writeU32(std::span<std::byte, 4> out, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<std::byte>((value >> (8 * i)) & 0xffu);
}

constexpr Header readHeader(std::span<const std::byte, header_size> bytes) {
    return Header{readU32(bytes.subspan<0, 4>()), readU32(bytes.subspan<4, 4>())};
}

constexpr std::array<std::byte, header_size> encodeHeader(Header header) {
    std::array<std::byte, header_size> out{};
    writeU32(std::span<std::byte, header_size>(out).subspan<0, 4>(), header.tag);
    writeU32(std::span<std::byte, header_size>(out).subspan<4, 4>(), header.bytes_len);
    return out;
}

constexpr std::uint32_t resultFlags(bool fail, bool skip, bool leak, std::uint64_t log_err_count) {
    const std::uint64_t clamped = log_err_count < log_err_count_max ? log_err_count : log_err_count_max;
    return (fail ? flag_fail : 0u) | (skip ? flag_skip : 0u) | (leak ? flag_leak : 0u) |
           (static_cast<std::uint32_t>(clamped) << log_err_count_shift);
}

}  // namespace vorn::protocol
