// Fatal stops: the panic line, the current call chain, then the abort signal.
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <span>
#include <string>

#include "runner_internal.hpp"
#include "stack_trace.hpp"
#include "text.hpp"

namespace vorn::runner::detail {

[[noreturn]] [[gnu::noinline]] void fatal(std::string_view message) {
    std::string text = "thread ";
    appendDecimal(text, static_cast<std::uint64_t>(::syscall(SYS_gettid)));
    text += " panic: ";
    text += message;
    text += '\n';
    std::array<void*, 64> frames;
    const std::size_t count = captureStackTrace(frames, 0);
    appendStackTrace(text, std::span<void* const>(frames.data(), count));
    {
        StderrLock lock;
        writeStderr(text);
    }
    std::abort();
}

}  // namespace vorn::runner::detail
