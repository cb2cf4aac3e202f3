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

[[gnu::noinline]] void ErrorTrace::recordCheck(vorn::testing::SourceLocation where,
                                               const void* test_return_address) {
    has_location_ = true;
    location_ = where;
    std::array<void*, 160> frames;
    // Leave out this function: the trace starts at the check that failed.
    const std::size_t count = captureStackTrace(frames, 1);
    // The frame that returns to test_return_address is the function that calls the test; it,
    // everything that led to it and the frame that calls the test for it are the runner's own.
    // A check outside a test (no such frame) keeps every frame.
    auto* const runner_frame =
        std::find(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(count), test_return_address);
    const auto runner_index = static_cast<std::size_t>(runner_frame - frames.begin());
    const std::size_t inner =
        test_return_address != nullptr && runner_index < count && runner_index > 0 ? runner_index - 1 : count;
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
