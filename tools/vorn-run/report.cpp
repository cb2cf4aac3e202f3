#include "report.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "concat.hpp"

namespace vorn::run {
namespace {

void writeText(std::FILE* out, std::string_view text) { std::fwrite(text.data(), 1, text.size(), out); }

unsigned terminalWidth(std::FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
    return 80;
}

// Cuts UTF-8 text to at most `columns` code points, never inside a sequence.
std::string fitColumns(std::string_view text, std::size_t columns) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xc0) != 0x80) {
            if (count == columns) return std::string(text.substr(0, i));
            ++count;
        }
    }
    return std::string(text);
}

}  // namespace

RunCounts countRuns(const std::vector<TestRun>& runs) {
    RunCounts counts;
    for (const TestRun& run : runs) {
        switch (run.outcome) {
            case Outcome::passed:
                ++counts.passed;
                break;
            case Outcome::failed:
                ++counts.failed;
                break;
            case Outcome::skipped:
                ++counts.skipped;
                break;
            case Outcome::timed_out:
                ++counts.timed_out;
                break;
            case Outcome::crashed:
                ++counts.crashed;
                break;
        }
        if (run.leaked) ++counts.leaked;
        counts.errors_logged += run.log_err_count;
    }
    return counts;
}

std::string closingLine(const RunCounts& counts) {
    std::string line =
        concat({std::to_string(counts.passed), " passed, ", std::to_string(counts.failed), " failed"});
    auto add = [&](std::size_t n, std::string_view what) {
        if (n != 0) line += concat({", ", std::to_string(n), " ", what});
    };
    add(counts.skipped, "skipped");
    add(counts.leaked, "leaked");
    add(counts.timed_out, "timed out");
    add(counts.crashed, "crashed");
    return line;
}

std::string printable(std::string_view name) {
    std::string text;
    text.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xc2 && i + 1 < name.size() &&
                        static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(name[i + 1]) <= 0x9f;
        if (byte < 0x20 || byte == 0x7f || c1) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            text += escape;
            if (c1) {
                std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(name[++i]));
                text += escape;
            }
        } else {
            text += name[i];
        }
    }
    return text;
}

int exitStatus(const RunCounts& counts) {
    const bool clean = counts.failed == 0 && counts.timed_out == 0 && counts.crashed == 0 &&
                       counts.leaked == 0 && counts.errors_logged == 0;
    return clean ? 0 : 1;
}

std::string verdict(const TestRun& run) {
    std::string text;
    switch (run.outcome) {
        case Outcome::passed:
            text = "OK";
            break;
        case Outcome::failed:
            text = "FAIL";
            break;
        case Outcome::skipped:
            text = "SKIP";
            break;
        case Outcome::timed_out:
            text = concat({"TIMEOUT (", run.crash_reason, ")"});
            break;
        case Outcome::crashed:
            text = concat({"CRASH (", run.crash_reason, ")"});
            break;
    }
    if (run.leaked) text += " [leaked memory]";
    if (run.log_err_count == 1) text += " [1 error logged]";
    if (run.log_err_count > 1) text += concat({" [", std::to_string(run.log_err_count), " errors logged]"});
    return text;
}

Reporter::Reporter(const std::vector<std::string>& names, std::vector<std::size_t> selected,
                   bool progress_bar, std::FILE* out)
    : names_(names),
      selected_(std::move(selected)),
      position_of_index_(names.size(), 0),
      results_(selected_.size()),
      progress_bar_(progress_bar),
      out_(out) {
    for (std::size_t position = 0; position < selected_.size(); ++position)
        position_of_index_[selected_[position]] = position;
    ordered_.reserve(selected_.size());
    if (progress_bar_) drawBar();
}

void Reporter::started(std::size_t index) {
    running_.push_back(index);
    if (progress_bar_) drawBar();
}

void Reporter::finished(TestRun run) {
    running_.erase(std::remove(running_.begin(), running_.end(), run.index), running_.end());
    ++done_;
    if (isProblem(run)) ++problems_;
    results_[position_of_index_[run.index]] = std::move(run);
    printReady();
}

void Reporter::note(std::string_view text) {
    if (text.empty()) return;
    eraseBar();
    writeText(out_, text);
    if (text.back() != '\n') writeText(out_, "\n");
    if (progress_bar_) drawBar();
    std::fflush(out_);
}

void Reporter::printReady() {
    eraseBar();
    while (next_to_print_ < results_.size() && results_[next_to_print_]) {
        ordered_.push_back(std::move(*results_[next_to_print_]));
        results_[next_to_print_].reset();
        printRun(next_to_print_, ordered_.back());
        ++next_to_print_;
    }
    if (progress_bar_) drawBar();
    std::fflush(out_);
}

void Reporter::printRun(std::size_t position, const TestRun& run) {
    const bool attention = isProblem(run) || run.outcome == Outcome::skipped;
    // With a progress bar, passing tests are shown by the bar alone.
    if (progress_bar_ && !attention) return;
    const std::string line = concat({std::to_string(position + 1), "/", std::to_string(selected_.size()), " ",
                                     printable(names_[run.index]), "...", verdict(run), "\n"});
    writeText(out_, line);
    if (isProblem(run) && !run.output.empty()) {
        writeText(out_, run.output);
        if (run.output.back() != '\n') writeText(out_, "\n");
    }
}

void Reporter::finish() {
    eraseBar();
    const RunCounts counts = countRuns(ordered_);
    if (counts.errors_logged != 0)
        writeText(out_, concat({std::to_string(counts.errors_logged), " errors were logged.\n"}));
    writeText(out_, concat({closingLine(counts), "\n"}));
    std::fflush(out_);
}

void Reporter::drawBar() {
    const unsigned width = terminalWidth(out_);
    constexpr std::size_t bar_cells = 24;
    const std::size_t total = selected_.size();
    const std::size_t filled = total == 0 ? bar_cells : done_ * bar_cells / total;
    std::string text = concat({"[", std::string(filled, '#'), std::string(bar_cells - filled, '.'), "] ",
                               std::to_string(done_), "/", std::to_string(total)});
    if (problems_ != 0) text += concat({" (", std::to_string(problems_), " not ok)"});
    if (!running_.empty()) {
        text += concat({" ", printable(names_[*std::min_element(running_.begin(), running_.end())])});
    }
    writeText(out_, concat({"\r\x1b[K", fitColumns(text, width - 1)}));
    bar_shown_ = true;
    std::fflush(out_);
}

void Reporter::eraseBar() {
    if (!bar_shown_) return;
    writeText(out_, "\r\x1b[K");
    bar_shown_ = false;
}

}  // namespace vorn::run
