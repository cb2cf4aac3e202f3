#include "descriptor_buffer.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orbits {

DescriptorBuffer::DescriptorBuffer() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

void DescriptorBuffer::attach(int fd) { fd_ = fd; }

bool DescriptorBuffer::writeOut(const char* text, std::size_t count) {
    if (failure_ != 0) return false;
    if (fd_ < 0) {
        failure_ = EBADF;
        return false;
    }
    while (count > 0) {
        const ssize_t written = ::write(fd_, text, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            failure_ = errno;
            return false;
        }
        if (written == 0) {  // no progress and no reason: report it rather than spin
            failure_ = EIO;
            return false;
        }
        text += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

bool DescriptorBuffer::drain() {
    const bool ok = writeOut(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return ok;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
    if (!drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize DescriptorBuffer::xsputn(const char_type* text, std::streamsize count) {
    const auto size = static_cast<std::size_t>(count);
    if (size <= static_cast<std::size_t>(epptr() - pptr())) {
        std::memcpy(pptr(), text, size);
        pbump(static_cast<int>(count));
        return count;
    }
    if (!drain()) return 0;
    if (size < buffer_.size()) {
        std::memcpy(pptr(), text, size);
        pbump(static_cast<int>(count));
        return count;
    }
    return writeOut(text, size) ? count : 0;
}

int DescriptorBuffer::sync() { return drain() ? 0 : -1; }

}  // namespace orbits
