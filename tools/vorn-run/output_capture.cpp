#include "output_capture.hpp"

#include <algorithm>
#include <utility>

#include "concat.hpp"

namespace vorn::run {

void OutputCapture::append(std::string_view text) {
    const std::size_t head_limit = limit_ / 2;
    const std::size_t tail_limit = limit_ - head_limit;
    if (head_.size() < head_limit) {
        const std::size_t take = std::min(text.size(), head_limit - head_.size());
        head_.append(text.substr(0, take));
        text.remove_prefix(take);
    }
    if (text.empty()) return;
    tail_.append(text);
    // Trim only when the tail holds twice its share, so each byte is moved at most once more.
    if (tail_.size() >= 2 * tail_limit) {
        const std::size_t excess = tail_.size() - tail_limit;
        dropped_ += excess;
        tail_.erase(0, excess);
    }
}

std::string OutputCapture::take() {
    const std::size_t tail_limit = limit_ - limit_ / 2;
    if (tail_.size() > tail_limit) {
        const std::size_t excess = tail_.size() - tail_limit;
        dropped_ += excess;
        tail_.erase(0, excess);
    }
    std::string text = std::exchange(head_, std::string());
    if (dropped_ != 0) {
        if (!text.empty() && text.back() != '\n') text += '\n';
        text += concat({"[vorn-run: ", std::to_string(dropped_), " bytes of output dropped here]\n"});
    }
    text += std::exchange(tail_, std::string());
    dropped_ = 0;
    return text;
}

}  // namespace vorn::run
