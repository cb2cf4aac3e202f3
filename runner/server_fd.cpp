#include "server_fd.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "descriptor_wait.hpp"

namespace vorn::runner::server {

std::optional<std::size_t> FdSource::read(std::span<std::byte> into) {
    for (;;) {
        const ssize_t got = ::read(fd_, into.data(), into.size());
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno == EINTR) continue;
        if (detail::notReadyYet(errno) && detail::waitUntilReady(fd_, POLLIN)) continue;
        last_error_ = errno;
        return std::nullopt;
    }
}

bool FdSink::write(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            if (detail::notReadyYet(errno) && detail::waitUntilReady(fd_, POLLOUT)) continue;
            last_error_ = errno;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(put));
    }
    return true;
}

namespace {

// A duplicate above the standard descriptors, so that later dup2 calls onto 0..2 cannot hit it.
int privateCopy(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 3); }

}  // namespace

std::optional<ServerDescriptors> isolateMessageStreams() {
    const int input = privateCopy(STDIN_FILENO);
    if (input < 0) return std::nullopt;
    const int frames = privateCopy(STDOUT_FILENO);
    if (frames < 0) {
        const int error = errno;
        ::close(input);
        errno = error;
        return std::nullopt;
    }
    const int null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const bool moved =
        null_fd >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) >= 0 && ::dup2(null_fd, STDIN_FILENO) >= 0;
    if (null_fd >= 0) ::close(null_fd);
    if (!moved) {
        ::close(input);
        ::close(frames);
        return std::nullopt;
    }
    std::fflush(stdout);
    return ServerDescriptors{input, frames};
}

}  // namespace vorn::runner::server
