// Where a failing test's error came from: the failing check's source position and the chain
// of calls that led to it, plus a note for errors that were not raised by a check.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include "vorn_testing.hpp"

namespace vorn::runner::detail {

class ErrorTrace {
public:
    static constexpr std::size_t max_frames = 32;

    void clear();

    // Called by a failing check: records `where` and the calls that led there.
    // `test_return_address` is where the test returns to in the function that calls it: the
    // frame with that address and everything outside it are the runner's own and are left
    // out, together with the one frame between that function and the test.
    void recordCheck(vorn::testing::SourceLocation where, const void* test_return_address);

    // Describes an error that left the test without a check (an exception).
    void recordNote(std::string_view note);

    bool empty() const { return !has_location_ && frame_count_ == 0 && note_size_ == 0; }

    // The trace as text, one line per entry; empty when nothing was recorded.
    void appendTo(std::string& out) const;

private:
    bool has_location_ = false;
    vorn::testing::SourceLocation location_;
    std::array<void*, max_frames> frames_{};
    std::size_t frame_count_ = 0;
    std::array<char, 256> note_{};
    std::size_t note_size_ = 0;
};

}  // namespace vorn::runner::detail
