#include "server_reader.hpp"

#include <algorithm>
#include <cstring>

namespace vorn::runner::server {

MessageReader::MessageReader(ByteSource& source, std::span<std::byte> receive_buffer)
    : source_(source), buffer_(receive_buffer) {}

ReadStatus MessageReader::fill(std::size_t needed) {
    while (buffered_ < needed) {
        const std::size_t room = std::min(protocol::max_read_size, buffer_.size() - buffered_);
        const std::optional<std::size_t> got = source_.read(buffer_.subspan(buffered_, room));
        if (!got) return ReadStatus::read_failed;
        // A source that claims more than it was given is broken; never trust it past the buffer.
        if (*got > room) return ReadStatus::read_failed;
        if (*got == 0) return ReadStatus::truncated;
        buffered_ += *got;
    }
    return ReadStatus::complete;
}

ReadStatus MessageReader::readHeader() {
    received_ = 0;
    const ReadStatus status = fill(protocol::header_size);
    if (status == ReadStatus::truncated) {
        received_ = buffered_;
        return buffered_ == 0 ? ReadStatus::end_of_input : ReadStatus::truncated;
    }
    if (status != ReadStatus::complete) return status;
    header_ = protocol::readHeader(buffer_.first<protocol::header_size>());
    return ReadStatus::complete;
}

ReadStatus MessageReader::readBody() {
    received_ = 0;
    if (header_.bytes_len > maxBodySize()) return ReadStatus::too_long;
    const ReadStatus status = fill(protocol::header_size + header_.bytes_len);
    if (status == ReadStatus::truncated) received_ = buffered_ - protocol::header_size;
    return status;
}

std::span<const std::byte> MessageReader::body() const {
    return buffer_.subspan(protocol::header_size, header_.bytes_len);
}

void MessageReader::finishMessage() {
    const std::size_t used = std::min(buffered_, protocol::header_size + std::size_t{header_.bytes_len});
    std::memmove(buffer_.data(), buffer_.data() + used, buffered_ - used);
    buffered_ -= used;
    header_ = {};
}

}  // namespace vorn::runner::server
