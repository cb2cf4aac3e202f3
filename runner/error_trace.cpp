#include "error_trace.hpp"

#include <algorithm>
#include <cstdint>
#include <span>

#include "stack_trace.hpp"
#include "text.hpp"

namespace vorn::runner::detail {

void ErrorTrace::clear() {
    has_location_ = false;
    frame_count_ = 0;
    note_size_ = 0;
}

[[gnu::noinline]] void ErrorTrace::recordCheck(vorn::testing::SourceLocation where, std::size_t stack_depth_at_test) {
    has_location_ = true;
    location_ = where;
    std::array<void*, 160> frames;
    // Leave out this function: the trace starts at the check that failed.
    const std::size_t count = captureStackTrace(frames, 1);
    // The outermost stack_depth_at_test frames are the runner's own: the function that calls
    // the test and everything that led to it. A trace cut short by the buffer keeps them all.
    const std::size_t outer = stack_depth_at_test;
    const std::size_t inner = count > outer && count < frames.size() ? count - outer : count;
    frame_count_ = std::min(inner, max_frames);
    std::copy_n(frames.begin(), frame_count_, frames_.begin());
}

void ErrorTrace::recordNote(std::string_view note) {
    note_size_ = std::min(note.size(), note_.size());
    std::copy_n(note.begin(), note_size_, note_.begin());
}

void ErrorTrace::appendTo(std::string& out) const {
    if (note_size_ != 0) {
        out.append(note_.data(), note_size_);
        out += '\n';
    }
    if (has_location_) {
        out += location_.file_name();
        out += ':';
        appendDecimal(out, location_.line());
        out += ':';
        appendDecimal(out, location_.column());
        out += ": check failed in ";
        out += location_.function_name();
        out += '\n';
    }
    appendStackTrace(out, std::span<void* const>(frames_.data(), frame_count_));
}

}  // namespace vorn::runner::detail
