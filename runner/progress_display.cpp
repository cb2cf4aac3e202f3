#include "progress_display.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <span>
#include <string>
#include <system_error>

#include "runner_internal.hpp"
#include "vorn_log.hpp"

namespace vorn::runner::detail {
namespace {

// Appends to a fixed buffer, silently stopping when it is full.
class BufferWriter {
public:
    explicit BufferWriter(std::span<char> buffer) : buffer_(buffer) {}

    void put(std::string_view text) {
        for (const char c : text) {
            if (size_ == buffer_.size()) return;
            buffer_[size_++] = c;
        }
    }
    void putDecimal(std::size_t value) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        put(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
    }
    // At most `columns` characters of `text`, counting one column per UTF-8 character so a
    // line never wraps (a wrapped line would throw off the cursor moves of the redraw).
    void putClipped(std::string_view text, std::size_t columns) {
        std::size_t used = 0;
        std::size_t end = 0;
        while (end < text.size()) {
            const auto lead = static_cast<unsigned char>(text[end]);
            std::size_t length = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
            if (used == columns) break;
            if (end + length > text.size()) length = text.size() - end;
            end += length;
            ++used;
        }
        put(text.substr(0, end));
    }
    std::string_view view() const { return {buffer_.data(), size_}; }

private:
    std::span<char> buffer_;
    std::size_t size_ = 0;
};

// Even at four bytes per character, lines this wide leave room in the drawing buffer for the
// cursor move that ends every drawing.
constexpr std::size_t max_columns = 480;

std::size_t terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
    return 80;
}

}  // namespace

std::thread ProgressDisplay::startThread(ProgressDisplay& display) {
    return std::thread([&display] { display.drawLoop(); });
}

ProgressDisplay::~ProgressDisplay() { stop(); }

void ProgressDisplay::start(std::string_view root_label, std::size_t estimated_total, ThreadStarter starter) {
    {
        std::lock_guard lock(state_mutex_);
        root_label_ = root_label;
        estimated_total_ = estimated_total;
        completed_ = 0;
        entry_ = {};
        stopping_ = false;
    }
    try {
        thread_ = starter(*this);
    } catch (const std::system_error& error) {
        std::string message = "unable to spawn thread for printing progress to terminal: ";
        message += error.code().message();
        vorn::testing::logWarn("progress", message);
    }
}

void ProgressDisplay::beginEntry(std::string_view name) {
    std::lock_guard lock(state_mutex_);
    entry_ = name;
}

void ProgressDisplay::endEntry() {
    std::lock_guard lock(state_mutex_);
    entry_ = {};
    ++completed_;
}

void ProgressDisplay::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(state_mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    std::lock_guard lock(stderr_mutex_);
    eraseLocked();
}

void ProgressDisplay::eraseLocked() {
    if (!visible_.load(std::memory_order_relaxed)) return;
    writeStderr(erase_sequence);
    visible_.store(false, std::memory_order_relaxed);
}

std::string_view ProgressDisplay::render(std::array<char, 4096>& buffer, std::size_t columns) const {
    const std::size_t width = std::min(columns > 1 ? columns - 1 : 1, max_columns);
    BufferWriter out(buffer);
    out.put(erase_sequence);
    std::lock_guard lock(state_mutex_);
    std::array<char, 256> first_line;
    BufferWriter label(first_line);
    label.put(root_label_);
    label.put(" [");
    label.putDecimal(completed_);
    label.put("/");
    label.putDecimal(estimated_total_);
    label.put("]");
    out.putClipped(label.view(), width);
    out.put("\n");
    std::size_t lines = 1;
    if (!entry_.empty()) {
        out.put("\xe2\x94\x94\xe2\x94\x80 ");  // "└─ "
        out.putClipped(entry_, width > 3 ? width - 3 : 1);
        out.put("\n");
        ++lines;
    }
    // Back to the first line, so the next writer (or redraw) starts where the area starts.
    out.put("\x1b[");
    out.putDecimal(lines);
    out.put("A");
    return out.view();
}

void ProgressDisplay::drawLocked() {
    const std::string_view bytes = render(draw_buffer_, terminalColumns());
    writeStderr(bytes);
    visible_.store(true, std::memory_order_relaxed);
}

void ProgressDisplay::drawLoop() {
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(first_draw_after);
    for (;;) {
        {
            std::unique_lock lock(state_mutex_);
            if (wake_.wait_for(lock, wait, [this] { return stopping_; })) return;
        }
        {
            std::lock_guard lock(stderr_mutex_);
            drawLocked();
        }
        wait = std::chrono::duration_cast<std::chrono::milliseconds>(redraw_every);
    }
}

}  // namespace vorn::runner::detail
