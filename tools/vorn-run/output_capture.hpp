// A test's standard-error text, bounded: past the limit the beginning and the end are kept
// (the end holds the failing check's message and trace) and the middle is counted as dropped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorn::run {

class OutputCapture {
public:
    explicit OutputCapture(std::size_t limit) : limit_(limit) {}

    void append(std::string_view text);
    // The kept text, with a note where bytes were dropped; leaves the capture empty.
    std::string take();
    bool empty() const { return head_.empty(); }

private:
    std::size_t limit_;
    std::string head_;
    std::string tail_;
    std::size_t dropped_ = 0;
};

}  // namespace vorn::run
