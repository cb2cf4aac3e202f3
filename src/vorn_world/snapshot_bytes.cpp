// The byte layer of the snapshots: the checksum, the reader's bounds and the header.
#include "vorn_world/snapshot_bytes.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace vorn_world::detail {

namespace {

constexpr std::array<std::uint32_t, 256> crcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> crc_table = crcTable();

}  // namespace

std::uint32_t crc32(std::span<const std::byte> bytes) {
    std::uint32_t c = 0xFFFFFFFFU;
    for (const std::byte b : bytes) c = crc_table[(c ^ static_cast<std::uint32_t>(b)) & 0xFFU] ^ (c >> 8);
    return c ^ 0xFFFFFFFFU;
}

std::span<const std::byte> ByteReader::take(std::size_t count) {
    if (count > remaining()) {
        refuse("truncated: it ends " + std::to_string(count - remaining()) +
               " bytes or more before what its header announces");
    }
    const std::span<const std::byte> part = bytes_.subspan(position_, count);
    position_ += count;
    return part;
}

void ByteReader::refuse(const std::string& what) const {
    throw SnapshotError("vorn_world: " + source_ + ": " + what);
}

std::uint64_t ByteReader::little(int count) {
    const std::span<const std::byte> part = take(static_cast<std::size_t>(count));
    std::uint64_t value = 0;
    for (int k = 0; k < count; ++k)
        value |= static_cast<std::uint64_t>(part[static_cast<std::size_t>(k)]) << (8 * k);
    return value;
}

SnapshotHeader readSnapshotHeader(std::span<const std::byte> bytes, const std::string& source) {
    ByteReader in(bytes, source);
    const std::span<const std::byte> magic = in.take(sizeof snapshot_magic);
    if (std::memcmp(magic.data(), snapshot_magic, sizeof snapshot_magic) != 0)
        in.refuse("not a vorn world snapshot (it does not start with \"VORNWRLD\")");
    const std::uint32_t version = in.u32();
    if (version != snapshot_version) {
        in.refuse("a snapshot of format version " + std::to_string(version) +
                  "; this library reads version " + std::to_string(snapshot_version));
    }
    if (in.u32() != snapshot_header_bytes) in.refuse("a snapshot header of the wrong size");
    SnapshotHeader header{};
    header.payload_bytes = in.u64();
    header.time = in.f64();
    header.step_count = in.u64();
    return header;
}

void writeSnapshotHeader(ByteWriter& out, const SnapshotHeader& header) {
    for (const char c : snapshot_magic) out.u8(static_cast<std::uint8_t>(c));
    out.u32(snapshot_version);
    out.u32(static_cast<std::uint32_t>(snapshot_header_bytes));
    out.u64(header.payload_bytes);
    out.f64(header.time);
    out.u64(header.step_count);
}

}  // namespace vorn_world::detail
