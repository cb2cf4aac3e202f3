// A stream buffer that writes to an open file descriptor and checks every write: the first
// failure is kept (as an errno value), and the stream it backs goes bad from then on.
#pragma once

#include <array>
#include <streambuf>

namespace orbits {

class DescriptorBuffer : public std::streambuf {
public:
    DescriptorBuffer();
    DescriptorBuffer(const DescriptorBuffer&) = delete;
    DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;
    ~DescriptorBuffer() override = default;

    // Writes go to `fd` from now on; the descriptor stays the caller's to close.
    void attach(int fd);
    // 0 while every write succeeded, else the errno of the first that failed.
    int failure() const { return failure_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char_type* text, std::streamsize count) override;
    int sync() override;

private:
    bool writeOut(const char* text, std::size_t count);
    bool drain();

    static constexpr std::size_t CAPACITY = 1 << 16;
    std::array<char, CAPACITY> buffer_{};
    int fd_ = -1;
    int failure_ = 0;
};

}  // namespace orbits
