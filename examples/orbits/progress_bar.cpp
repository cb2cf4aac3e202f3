#include "progress_bar.hpp"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>

namespace orbits {

namespace {
constexpr int WIDTH = 40;
}

ProgressBar::ProgressBar(std::uint64_t total) : total_(total), enabled_(isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(std::uint64_t done) {
    if (!enabled_ || finished_ || total_ == 0) return;
    const int permille = static_cast<int>(done >= total_ ? 1000 : done * 1000 / total_);
    if (permille == shown_permille_) return;  // redraw only when the bar would change
    shown_permille_ = permille;
    char bar[WIDTH + 1];
    const int filled = permille * WIDTH / 1000;
    for (int i = 0; i < WIDTH; ++i) bar[i] = i < filled ? '#' : '-';
    bar[WIDTH] = '\0';
    std::fprintf(stderr, "\r[%s] %3d.%d%%  step %" PRIu64 "/%" PRIu64, bar, permille / 10, permille % 10,
                 done, total_);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (finished_) return;
    finished_ = true;
    if (enabled_ && shown_permille_ >= 0) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
    }
}

}  // namespace orbits
