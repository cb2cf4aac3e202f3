// The byte streams server mode talks through. The loop sees only these two interfaces, so it
// runs the same over the process's descriptors, over in-memory buffers in tests, and under a
// fuzzer.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace vorn::runner::server {

class ByteSource {
public:
    // Reads at most into.size() bytes into `into`. Returns the number of bytes read, 0 at the end
    // of the input, or nullopt when reading failed.
    virtual std::optional<std::size_t> read(std::span<std::byte> into) = 0;

protected:
    ~ByteSource() = default;
};

class ByteSink {
public:
    // Writes all of `bytes`; returns false when that failed.
    virtual bool write(std::span<const std::byte> bytes) = 0;

protected:
    ~ByteSink() = default;
};

}  // namespace vorn::runner::server
