// The byte layer of the World's snapshots: little-endian integers and IEEE doubles (their bits),
// the fixed header every snapshot starts with, and the CRC-32 that ends it. A reader never reads
// past its bytes: running out is a SnapshotError saying the snapshot is truncated.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vorn_world.hpp"

namespace vorn_world::detail {

// "VORNWRLD", the format version this library writes and reads, and the sizes of the parts
// around the payload: the header (magic, version, header size, payload size, time, step count)
// and the checksum after the payload (CRC-32 of the header and the payload).
inline constexpr char snapshot_magic[8] = {'V', 'O', 'R', 'N', 'W', 'R', 'L', 'D'};
// The version written; the oldest still read (version 1 lacks the gravity solver: automatic).
inline constexpr std::uint32_t snapshot_version = 2;
inline constexpr std::uint32_t oldest_snapshot_version = 1;
inline constexpr std::size_t snapshot_header_bytes = 40;
inline constexpr std::size_t snapshot_checksum_bytes = 4;

// The CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320), as zlib computes it.
std::uint32_t crc32(std::span<const std::byte> bytes);

class ByteWriter {
public:
    void u8(std::uint8_t value) { bytes_.push_back(static_cast<std::byte>(value)); }
    void u32(std::uint32_t value) { little(value, 4); }
    void u64(std::uint64_t value) { little(value, 8); }
    void f64(double value) { u64(std::bit_cast<std::uint64_t>(value)); }
    void f64s(const double* values, std::size_t count);
    void raw(std::span<const std::byte> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    void reserve(std::size_t count) { bytes_.reserve(count); }
    std::vector<std::byte>& bytes() { return bytes_; }

private:
    void little(std::uint64_t value, int count) {
        for (int k = 0; k < count; ++k) bytes_.push_back(static_cast<std::byte>((value >> (8 * k)) & 0xFFU));
    }
    std::vector<std::byte> bytes_;
};

// Reads values from `bytes` in order; `source` names them in messages ("snapshot", a path).
class ByteReader {
public:
    ByteReader(std::span<const std::byte> bytes, std::string source)
        : bytes_(bytes), source_(std::move(source)) {}
    std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)[0]); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(little(4)); }
    std::uint64_t u64() { return little(8); }
    double f64() { return std::bit_cast<double>(u64()); }
    void f64s(double* values, std::size_t count);
    std::span<const std::byte> take(std::size_t count);
    std::size_t remaining() const { return bytes_.size() - position_; }
    // Throws SnapshotError("vorn_world: <source>: <what>").
    [[noreturn]] void refuse(const std::string& what) const;
    const std::string& source() const { return source_; }

private:
    std::uint64_t little(int count);
    std::span<const std::byte> bytes_;
    std::size_t position_ = 0;
    std::string source_;
};

// What a snapshot's header says.
struct SnapshotHeader {
    std::uint32_t version;
    std::uint64_t payload_bytes;
    double time;
    std::uint64_t step_count;
    std::uint64_t totalBytes() const {
        return snapshot_header_bytes + payload_bytes + snapshot_checksum_bytes;
    }
};

// The header at the start of `bytes` (at least snapshot_header_bytes of them), or SnapshotError:
// not a snapshot, a version this library does not read, or a header of another size.
SnapshotHeader readSnapshotHeader(std::span<const std::byte> bytes, const std::string& source);
void writeSnapshotHeader(ByteWriter& out, const SnapshotHeader& header);

}  // namespace vorn_world::detail
