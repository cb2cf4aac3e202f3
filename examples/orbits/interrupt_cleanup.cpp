#include "interrupt_cleanup.hpp"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>

namespace orbits {

namespace {

constexpr std::size_t MAX_NAMES = 8;
constexpr std::array<int, 3> HANDLED_SIGNALS{SIGINT, SIGTERM, SIGHUP};

static_assert(std::atomic<const char*>::is_always_lock_free, "the handler reads the names lock-free");

// The one piece of process-wide state: what a signal handler can reach has to be global.
std::array<std::atomic<const char*>, MAX_NAMES> registered_names{};

extern "C" void removeNamesAndDie(int signal_number) {
    for (const auto& name : registered_names) {
        if (const char* path = name.load()) ::unlink(path);
    }
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    ::sigaction(signal_number, &default_action, nullptr);
    // Blocked until this handler returns; then the default action ends the program.
    ::raise(signal_number);
}

}  // namespace

void removeTemporaryFilesOnInterrupt() {
    for (const int signal_number : HANDLED_SIGNALS) {
        struct sigaction current {};
        if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeNamesAndDie;
        sigemptyset(&action.sa_mask);
        for (const int other : HANDLED_SIGNALS) sigaddset(&action.sa_mask, other);
        ::sigaction(signal_number, &action, nullptr);
    }
}

void TemporaryFileRegistration::hold(const char* path) {
    release();
    for (std::size_t i = 0; i < MAX_NAMES; ++i) {
        const char* expected = nullptr;
        if (registered_names[i].compare_exchange_strong(expected, path)) {
            slot_ = static_cast<int>(i);
            return;
        }
    }
    std::abort();
}

void TemporaryFileRegistration::release() {
    if (slot_ < 0) return;
    registered_names[static_cast<std::size_t>(slot_)].store(nullptr);
    slot_ = -1;
}

}  // namespace orbits
