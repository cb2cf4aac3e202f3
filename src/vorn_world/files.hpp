// Files as the snapshots use them: read whole or in part, replaced only by complete new contents,
// appended to all or nothing. Failures throw std::filesystem::filesystem_error naming the path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace vorn_world::detail {

// The whole file.
std::vector<std::byte> readFile(const std::filesystem::path& path);
// `count` bytes from `offset` (fewer where the file ends first).
std::vector<std::byte> readFilePart(const std::filesystem::path& path, std::uint64_t offset,
                                    std::size_t count);
// Writes `bytes` to a new file beside `path`, flushes it to the disk and renames it over `path`:
// `path` has either its old contents or all of the new ones. The temporary is removed on failure.
void replaceFile(const std::filesystem::path& path, std::span<const std::byte> bytes);
// Appends `bytes` to `path` (created if absent) when it is `expected_size` bytes long (otherwise
// std::filesystem::filesystem_error: it changed), and flushes it to the disk; a failed write is
// cut back to the old length.
void appendToFile(const std::filesystem::path& path, std::uint64_t expected_size,
                  std::span<const std::byte> bytes);

}  // namespace vorn_world::detail
