// A World's state as a snapshot's bytes and back (the format is in docs/world.md).
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "vorn_world/state.hpp"

namespace vorn_world::detail {

std::vector<std::byte> encodeSnapshot(const WorldState& state);
// The state the bytes hold, or SnapshotError naming `source` and what is wrong.
std::unique_ptr<WorldState> decodeSnapshot(std::span<const std::byte> bytes, const std::string& source);

}  // namespace vorn_world::detail
