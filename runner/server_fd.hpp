// Server mode over the process's own descriptors: the frame stream gets a private duplicate of
// standard output, and descriptor 1 is pointed at standard error, so that nothing a test or a
// library prints can land between two frames. Both streams work whether or not a parent made
// them non-blocking: a read or write that finds its descriptor not ready waits for it.
#pragma once

#include <optional>

#include "server_io.hpp"

namespace vorn::runner::server {

class FdSource final : public ByteSource {
public:
    explicit FdSource(int fd) : fd_(fd) {}
    std::optional<std::size_t> read(std::span<std::byte> into) override;
    int lastError() const { return last_error_; }

private:
    int fd_;
    int last_error_ = 0;
};

class FdSink final : public ByteSink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    bool write(std::span<const std::byte> bytes) override;
    int lastError() const { return last_error_; }

private:
    int fd_;
    int last_error_ = 0;
};

struct ServerDescriptors {
    int input;   // private duplicate of the original standard input
    int frames;  // private duplicate of the original standard output
};

// Moves the message streams to private descriptors (closed on exec), then points descriptor 1
// at standard error and descriptor 0 at /dev/null. Anything already buffered for stdout is
// flushed only after the switch, so it goes to standard error too. Returns nullopt (with errno
// set) when a descriptor operation failed.
std::optional<ServerDescriptors> isolateMessageStreams();

}  // namespace vorn::runner::server
