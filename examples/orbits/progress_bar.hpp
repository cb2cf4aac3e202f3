// A one-line progress bar on standard error, drawn only when standard error is a terminal.
#pragma once

#include <cstdint>

namespace orbits {

class ProgressBar {
public:
    explicit ProgressBar(std::uint64_t total);
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar();

    void update(std::uint64_t done);
    void finish();

private:
    std::uint64_t total_;
    bool enabled_;
    int shown_permille_ = -1;
    bool finished_ = false;
};

}  // namespace orbits
