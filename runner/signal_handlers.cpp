#include "signal_handlers.hpp"

#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "process_state.hpp"
#include "runner_internal.hpp"
#include "stack_trace.hpp"

namespace vorn::runner::detail {
namespace {

// Writes are left unchecked: there is nothing a crashing process could do about them.
void writeRaw(const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

void noop(int) {}

// Only async-signal-safe calls from here on: write(2), the linked-in unwinder and
// backtrace_symbols_fd(), which writes without allocating.
void onCrash(int signal_number, siginfo_t* info, void*) {
    const char* what = signal_number == SIGSEGV  ? "Segmentation fault"
                       : signal_number == SIGILL ? "Illegal instruction"
                                                 : "Bus error";
    std::array<char, 96> line{};
    std::size_t size = 0;
    for (const char* c = what; *c != '\0'; ++c) line[size++] = *c;
    for (const char c : std::string_view(" at address 0x")) line[size++] = c;
    auto address = reinterpret_cast<std::uintptr_t>(info != nullptr ? info->si_addr : nullptr);
    std::array<char, 16> digits{};
    std::size_t count = 0;
    do {
        digits[count++] = "0123456789abcdef"[address & 0xf];
        address >>= 4;
    } while (address != 0);
    while (count > 0) line[size++] = digits[--count];
    line[size++] = '\n';

    // The progress display may be on screen; its lock cannot be taken here.
    if (processState().progress.visible()) {
        writeRaw(ProgressDisplay::erase_sequence.data(), ProgressDisplay::erase_sequence.size());
    }
    writeRaw(line.data(), size);
    std::array<void*, 64> frames;
    const std::size_t depth = unwindReturnAddresses(frames);
    backtrace_symbols_fd(frames.data(), static_cast<int>(depth), STDERR_FILENO);

    // Die of the same signal with its default action: re-raised, it is delivered as soon as
    // this handler returns.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal_number, &fallback, nullptr);
    raise(signal_number);
}

// Room to report a stack overflow, which leaves no stack for the handler itself.
alignas(16) std::array<std::byte, std::size_t{64} * 1024> crash_stack;

}  // namespace

void installProcessSignalHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;

    struct sigaction ignore {};
    ignore.sa_handler = noop;
    sigemptyset(&ignore.sa_mask);
    if (sigaction(SIGPIPE, &ignore, nullptr) != 0) {
        const int error_number = errno;
        std::string message = "failed to set noop SIGPIPE handler: ";
        message += std::strerror(error_number);
        fatal(message);
    }

    // Touch the state now, not for the first time inside a handler.
    (void)processState();

    stack_t alternate{};
    alternate.ss_sp = crash_stack.data();
    alternate.ss_size = crash_stack.size();
    const bool have_alternate = sigaltstack(&alternate, nullptr) == 0;

    struct sigaction crash {};
    crash.sa_sigaction = onCrash;
    crash.sa_flags = SA_SIGINFO | (have_alternate ? SA_ONSTACK : 0);
    sigemptyset(&crash.sa_mask);
    for (const int signal_number : {SIGSEGV, SIGILL, SIGBUS}) sigaction(signal_number, &crash, nullptr);
}

}  // namespace vorn::runner::detail
