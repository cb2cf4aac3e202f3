// Reads and writes on descriptors another process may have made non-blocking: O_NONBLOCK
// belongs to the open file description, which a parent shares with its children, so a read or
// write here can report EAGAIN although this program never asked for that. Such a call waits
// for the descriptor with poll() and is then repeated; it is never taken for a failure.
#pragma once

#include <poll.h>

#include <cerrno>

namespace vorn::runner::detail {

// Whether a read or write that failed with `error` only found the descriptor not ready.
inline bool notReadyYet(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Waits until `fd` is ready for `events` (POLLIN or POLLOUT), or has an error or hang-up that
// the repeated call will then report itself. Returns false, with errno set, only when poll()
// fails. Async-signal-safe.
inline bool waitUntilReady(int fd, short events) {
    pollfd entry{.fd = fd, .events = events, .revents = 0};
    for (;;) {
        if (::poll(&entry, 1, -1) >= 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace vorn::runner::detail
