// The byte layer of the snapshots: the checksum, the reader's bounds and the header.
#include "vorn_world/snapshot_bytes.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace vorn_world::detail {

namespace {

// The CRC's tables for eight bytes at a time: table[0] is the byte-at-a-time table, table[k] the
// effect of a byte followed by k zero bytes.
constexpr std::array<std::array<std::uint32_t, 256>, 8> crcTables() {
    std::array<std::array<std::uint32_t, 256>, 8> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        table[0][n] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::uint32_t n = 0; n < 256; ++n)
            table[k][n] = table[0][table[k - 1][n] & 0xFFU] ^ (table[k - 1][n] >> 8);
    }
    return table;
}

constexpr std::array<std::array<std::uint32_t, 256>, 8> crc_tables = crcTables();

std::uint32_t byteAt(std::span<const std::byte> bytes, std::size_t i) {
    return static_cast<std::uint32_t>(bytes[i]);
}

}  // namespace

std::uint32_t crc32(std::span<const std::byte> bytes) {
    std::uint32_t c = 0xFFFFFFFFU;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        const std::uint32_t low = c ^ (byteAt(bytes, i) | byteAt(bytes, i + 1) << 8 |
                                       byteAt(bytes, i + 2) << 16 | byteAt(bytes, i + 3) << 24);
        c = crc_tables[7][low & 0xFFU] ^ crc_tables[6][(low >> 8) & 0xFFU] ^
            crc_tables[5][(low >> 16) & 0xFFU] ^ crc_tables[4][low >> 24] ^
            crc_tables[3][byteAt(bytes, i + 4)] ^ crc_tables[2][byteAt(bytes, i + 5)] ^
            crc_tables[1][byteAt(bytes, i + 6)] ^ crc_tables[0][byteAt(bytes, i + 7)];
    }
    for (; i < bytes.size(); ++i) c = crc_tables[0][(c ^ byteAt(bytes, i)) & 0xFFU] ^ (c >> 8);
    return c ^ 0xFFFFFFFFU;
}

void ByteWriter::f64s(const double* values, std::size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        const std::size_t start = bytes_.size();
        bytes_.resize(start + count * sizeof(double));
        if (count > 0) std::memcpy(bytes_.data() + start, values, count * sizeof(double));
    } else {
        for (std::size_t i = 0; i < count; ++i) f64(values[i]);
    }
}

void ByteReader::f64s(double* values, std::size_t count) {
    if (count > remaining() / sizeof(double)) take(remaining() + 1);  // refused as truncated
    if constexpr (std::endian::native == std::endian::little) {
        const std::span<const std::byte> part = take(count * sizeof(double));
        if (count > 0) std::memcpy(values, part.data(), part.size());
    } else {
        for (std::size_t i = 0; i < count; ++i) values[i] = f64();
    }
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
    if (version < oldest_snapshot_version || version > snapshot_version) {
        in.refuse("a snapshot of format version " + std::to_string(version) +
                  "; this library reads versions " + std::to_string(oldest_snapshot_version) + " to " +
                  std::to_string(snapshot_version));
    }
    if (in.u32() != snapshot_header_bytes) in.refuse("a snapshot header of the wrong size");
    SnapshotHeader header{};
    header.version = version;
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
