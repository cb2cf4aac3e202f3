// The process-wide standard-error lock and the raw writes made under it.
#include <unistd.h>

#include <cerrno>

#include "descriptor_wait.hpp"
#include "process_state.hpp"
#include "runner_internal.hpp"

namespace vorn::runner::detail {

StderrLock::StderrLock() {
    ProcessState& state = processState();
    state.stderr_mutex.lock();
    state.progress.eraseLocked();
}

StderrLock::~StderrLock() { processState().stderr_mutex.unlock(); }

void writeStderr(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && notReadyYet(errno) && waitUntilReady(STDERR_FILENO, POLLOUT)) continue;
        if (written <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace vorn::runner::detail
