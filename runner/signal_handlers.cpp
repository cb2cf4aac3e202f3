#include "signal_handlers.hpp"

#include <dlfcn.h>
#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "descriptor_wait.hpp"
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
        if (written < 0 && notReadyYet(errno) && waitUntilReady(STDERR_FILENO, POLLOUT)) continue;
        if (written <= 0) return;
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

void noop(int) {}

// One line of a crash report, built in place: the handler may not allocate. A line too long for
// it (a program name of thousands of bytes) is cut short but still ends the line.
class ReportLine {
public:
    void add(std::string_view part) {
        for (const char c : part) {
            if (size_ < text_.size()) text_[size_++] = c;
        }
    }
    void addHex(std::uintptr_t value) {
        std::array<char, 16> digits{};
        std::size_t count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value != 0);
        while (count > 0) add(std::string_view(&digits[--count], 1));
    }
    void write() {
        if (size_ == text_.size()) text_.back() = '\n';
        writeRaw(text_.data(), size_);
    }

private:
    std::array<char, 1024> text_{};
    std::size_t size_ = 0;
};

// The program's own image, as the linker marks it (the linker chose the names).
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" const char __executable_start[];
extern "C" const char _end[];

// One line per frame. Where the dynamic loader knows the address, its line names the object
// and the nearest exported symbol; in a statically linked program there is no loader to
// ask, and a frame of the program itself is given as its offset in the executable, which
// addr2line turns into a function and a source line.
void writeFrames(std::span<void* const> frames) {
    const auto image_start = reinterpret_cast<std::uintptr_t>(__executable_start);
    const auto image_end = reinterpret_cast<std::uintptr_t>(_end);
    for (void* const frame : frames) {
        Dl_info info{};
        if (dladdr(frame, &info) != 0 && info.dli_fname != nullptr) {
            void* one = frame;
            backtrace_symbols_fd(&one, 1, STDERR_FILENO);
            continue;
        }
        const auto pc = reinterpret_cast<std::uintptr_t>(frame);
        ReportLine line;
        if (pc >= image_start && pc < image_end) {
            line.add(program_invocation_name);
            line.add("(+0x");
            line.addHex(pc - image_start);
            line.add(")");
        }
        line.add("[0x");
        line.addHex(pc);
        line.add("]\n");
        line.write();
    }
}

// Only async-signal-safe calls from here on, in practice: write(2), the linked-in unwinder,
// and dladdr() and backtrace_symbols_fd(), which read the loader's tables and write without
// allocating.
void onCrash(int signal_number, siginfo_t* info, void*) {
    const char* what = signal_number == SIGSEGV  ? "Segmentation fault"
                       : signal_number == SIGILL ? "Illegal instruction"
                                                 : "Bus error";
    ReportLine line;
    line.add(what);
    line.add(" at address 0x");
    line.addHex(reinterpret_cast<std::uintptr_t>(info != nullptr ? info->si_addr : nullptr));
    line.add("\n");

    // The progress display may be on screen; its lock cannot be taken here.
    if (processState().progress.visible()) {
        writeRaw(ProgressDisplay::erase_sequence.data(), ProgressDisplay::erase_sequence.size());
    }
    line.write();
    std::array<void*, 64> frames;
    const std::size_t depth = unwindReturnAddresses(frames);
    writeFrames(std::span<void* const>(frames.data(), depth));

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
