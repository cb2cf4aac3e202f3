// A series of World snapshots in one file, for runs that keep their history: append a snapshot
// every so many steps, then read any of them back, or list their times, without reading the
// others. The file is the snapshots back to back (each complete with its checksum, the format of
// World::snapshot), so a snapshot cut short by a crash spoils none before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "vorn_world.hpp"

namespace vorn_world {

class SnapshotSeries {
public:
    // The series at `path`: the snapshots of an existing file (SnapshotError when it is not a
    // series of snapshots), or none when there is no file yet (the first append creates it).
    // Reads the snapshots' headers, not their contents.
    explicit SnapshotSeries(std::filesystem::path path);

    // Appends the World's snapshot and flushes it to the disk. Refused (SnapshotError) while the
    // file ends in an incomplete snapshot, and (std::filesystem::filesystem_error) when the file
    // has changed since it was read or cannot be written; the file then keeps what it had.
    void append(const World& world);

    std::size_t size() const;
    // The time and step count of snapshot `index` (std::out_of_range past the end).
    double time(std::size_t index) const;
    std::uint64_t stepCount(std::size_t index) const;
    // The World of snapshot `index`, its checksum checked (SnapshotError when it does not match).
    World load(std::size_t index) const;
    // The bytes after the last complete snapshot: an append that a crash cut short (0 normally).
    std::uint64_t trailingBytes() const;
    const std::filesystem::path& path() const;

private:
    struct Entry {
        std::uint64_t offset, bytes;
        double time;
        std::uint64_t step_count;
    };
    const Entry& entry(std::size_t index) const;
    std::filesystem::path path_;
    std::vector<Entry> entries_;
    std::uint64_t end_ = 0;        // the end of the last complete snapshot
    std::uint64_t file_size_ = 0;  // the file's size when last read or written
};

}  // namespace vorn_world
