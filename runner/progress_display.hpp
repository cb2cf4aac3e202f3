// The progress display on a terminal: a root label with the count of finished tests and an
// entry for the running test, redrawn by a thread of its own from a fixed drawing buffer.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string_view>
#include <thread>

namespace vorn::runner::detail {

class ProgressDisplay {
public:
    static constexpr std::chrono::milliseconds first_draw_after{200};
    static constexpr std::chrono::milliseconds redraw_every{80};

    // Starts the drawing thread (throws std::system_error when it cannot start); the tests
    // replace it to exercise that failure.
    using ThreadStarter = std::thread (*)(ProgressDisplay& display);
    static std::thread startThread(ProgressDisplay& display);

    // `stderr_mutex` is the process-wide standard-error lock, taken for every redraw.
    explicit ProgressDisplay(std::recursive_mutex& stderr_mutex) : stderr_mutex_(stderr_mutex) {}
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Starts drawing under `root_label`. If the thread cannot start, logs the warning
    // "unable to spawn thread for printing progress to terminal: {reason}" and stays off.
    void start(std::string_view root_label, std::size_t estimated_total, ThreadStarter starter = startThread);
    void beginEntry(std::string_view name);
    void endEntry();
    // Stops the thread and erases what it drew.
    void stop();

    bool running() const { return thread_.joinable(); }

    // Removes the drawn area from the terminal; call it holding the standard-error lock.
    void eraseLocked();
    // Whether something is drawn; readable from a signal handler.
    bool visible() const { return visible_.load(std::memory_order_relaxed); }

    // The bytes one redraw writes (cursor moves included), into `buffer`; for the tests.
    std::string_view render(std::array<char, 4096>& buffer, std::size_t columns) const;

    // Control sequence that erases a drawn area; the cursor rests at its first line.
    static constexpr std::string_view erase_sequence = "\r\x1b[J";

private:
    void drawLoop();
    void drawLocked();

    std::recursive_mutex& stderr_mutex_;
    mutable std::mutex state_mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::string_view root_label_;
    std::size_t estimated_total_ = 0;
    std::size_t completed_ = 0;
    std::string_view entry_;
    std::array<char, 4096> draw_buffer_{};
    std::atomic<bool> visible_{false};
    std::thread thread_;
};

}  // namespace vorn::runner::detail
