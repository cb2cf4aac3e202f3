// Splits the input stream into framed messages inside a fixed receive buffer. Bytes that arrive
// beyond the current message stay buffered for the next one; nothing is ever read or reserved
// according to a length the buffer cannot hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol.hpp"
#include "server_io.hpp"

namespace vorn::runner::server {

enum class ReadStatus : std::uint8_t {
    complete,      // the requested bytes are buffered
    end_of_input,  // the input ended before the first byte of a message
    truncated,     // the input ended inside a message
    too_long,      // the body cannot fit in the receive buffer
    read_failed,   // the source reported an error
};

class MessageReader {
public:
    // `receive_buffer` must hold at least a header.
    MessageReader(ByteSource& source, std::span<std::byte> receive_buffer);

    // Buffers the next header. On `truncated`, received() tells how many of its bytes came.
    ReadStatus readHeader();
    protocol::Header header() const { return header_; }

    // Buffers the body of the header just read. On `truncated`, received() tells how many of
    // its bytes came.
    ReadStatus readBody();
    std::span<const std::byte> body() const;

    // Drops the current message from the buffer, keeping whatever follows it.
    void finishMessage();

    std::size_t received() const { return received_; }
    // The longest body the receive buffer can ever hold.
    std::size_t maxBodySize() const { return buffer_.size() - protocol::header_size; }

private:
    // Fills the buffer until `needed` bytes (counted from its start) are there.
    ReadStatus fill(std::size_t needed);

    ByteSource& source_;
    std::span<std::byte> buffer_;
    std::size_t buffered_ = 0;
    std::size_t received_ = 0;
    protocol::Header header_{};
};

}  // namespace vorn::runner::server
