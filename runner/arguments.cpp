#include "arguments.hpp"

#include <cstring>
#include <string_view>

namespace vorn::runner::detail {

CommandLine readCommandLine(int argc, const char* const* argv, std::span<std::byte> buffer) {
    const std::size_t count = argc > 0 && argv != nullptr ? static_cast<std::size_t>(argc) : 0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char* argument = argv[i] != nullptr ? argv[i] : "";
        const std::size_t size = std::strlen(argument) + 1;
        if (size > buffer.size() - used) return CommandLine::too_large;
        std::memcpy(buffer.data() + used, argument, size);
        used += size;
    }

    // Read the copies back: the program name first, then the arguments proper.
    bool listen = false;
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view argument(reinterpret_cast<const char*>(buffer.data() + at));
        at += argument.size() + 1;
        if (i == 0) continue;
        if (argument != "--listen=-") return CommandLine::unrecognized_argument;
        listen = true;
    }
    return listen ? CommandLine::server_mode : CommandLine::terminal_mode;
}

}  // namespace vorn::runner::detail
