// Snapshots in files: a World saved and loaded whole, and series of snapshots appended to one file.
#include <stdexcept>
#include <string>
#include <utility>

#include "vorn_snapshot_series.hpp"
#include "vorn_world.hpp"
#include "vorn_world/files.hpp"
#include "vorn_world/snapshot.hpp"
#include "vorn_world/snapshot_bytes.hpp"

namespace vorn_world {

void World::save(const std::filesystem::path& path) const {
    detail::replaceFile(path, detail::encodeSnapshot(*state_));
}

World World::load(const std::filesystem::path& path) {
    World world;
    world.state_ = detail::decodeSnapshot(detail::readFile(path), path.string());
    return world;
}

SnapshotSeries::SnapshotSeries(std::filesystem::path path) : path_(std::move(path)) {
    std::error_code error;
    const bool exists = std::filesystem::exists(path_, error);
    if (error)
        throw std::filesystem::filesystem_error("vorn_world: cannot look for the series", path_, error);
    if (!exists) return;
    file_size_ = std::filesystem::file_size(path_);
    // Each snapshot's header gives its length, and so where the next one starts.
    while (file_size_ - end_ >= detail::snapshot_header_bytes) {
        const std::vector<std::byte> head = detail::readFilePart(path_, end_, detail::snapshot_header_bytes);
        const std::string source = path_.string() + ": snapshot " + std::to_string(entries_.size());
        const detail::SnapshotHeader header = detail::readSnapshotHeader(head, source);
        if (header.payload_bytes > file_size_ || header.totalBytes() > file_size_ - end_) break;
        entries_.push_back(Entry{end_, header.totalBytes(), header.time, header.step_count});
        end_ += header.totalBytes();
    }
}

void SnapshotSeries::append(const World& world) {
    if (trailingBytes() != 0) {
        throw SnapshotError("vorn_world: " + path_.string() + ": ends in " + std::to_string(trailingBytes()) +
                            " bytes of an incomplete snapshot (an append cut short); the series is "
                            "readable up to it but is not appended to");
    }
    const std::vector<std::byte> bytes = detail::encodeSnapshot(*world.state_);
    detail::appendToFile(path_, file_size_, bytes);
    entries_.push_back(Entry{end_, bytes.size(), world.time(), world.stepCount()});
    end_ += bytes.size();
    file_size_ = end_;
}

std::size_t SnapshotSeries::size() const { return entries_.size(); }

const SnapshotSeries::Entry& SnapshotSeries::entry(std::size_t index) const {
    if (index >= entries_.size()) {
        throw std::out_of_range("vorn_world: " + path_.string() + " has " + std::to_string(entries_.size()) +
                                " snapshots; there is no snapshot " + std::to_string(index));
    }
    return entries_[index];
}

double SnapshotSeries::time(std::size_t index) const { return entry(index).time; }

std::uint64_t SnapshotSeries::stepCount(std::size_t index) const { return entry(index).step_count; }

World SnapshotSeries::load(std::size_t index) const {
    const Entry& e = entry(index);
    World world;
    world.state_ = detail::decodeSnapshot(detail::readFilePart(path_, e.offset, e.bytes),
                                          path_.string() + ": snapshot " + std::to_string(index));
    return world;
}

std::uint64_t SnapshotSeries::trailingBytes() const { return file_size_ - end_; }

const std::filesystem::path& SnapshotSeries::path() const { return path_; }

}  // namespace vorn_world
