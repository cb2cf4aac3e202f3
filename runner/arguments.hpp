// The command line: copied into the runner's fixed buffer, then read for the mode.
#pragma once

#include <cstddef>
#include <span>

namespace vorn::runner::detail {

enum class CommandLine { terminal_mode, server_mode, unrecognized_argument, too_large };

// Copies every argument (program name included, each ended by a 0 byte) into `buffer`, then
// checks each one after the program name against "--listen=-", byte for byte. The argument may
// be repeated; anything else is unrecognized.
CommandLine readCommandLine(int argc, const char* const* argv, std::span<std::byte> buffer);

}  // namespace vorn::runner::detail
