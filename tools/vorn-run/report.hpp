// What vorn-run writes on standard error while tests run: one line per test in table order
// (plain mode), or a progress bar with lines only for the tests that need attention (when
// standard error is a terminal), then the closing line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_run.hpp"

namespace vorn::run {

struct RunCounts {
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t skipped = 0;
    std::size_t leaked = 0;
    std::size_t timed_out = 0;
    std::size_t crashed = 0;
    std::uint64_t errors_logged = 0;
};

RunCounts countRuns(const std::vector<TestRun>& runs);
// "N passed, N failed", then ", N skipped", ", N leaked", ", N timed out", ", N crashed"
// where not zero.
std::string closingLine(const RunCounts& counts);
// 0 when every test passed or was skipped and nothing leaked or logged an error, else 1.
int exitStatus(const RunCounts& counts);
// "OK", "FAIL", "CRASH (SIGSEGV)", ... with notes on leaks and logged errors.
std::string verdict(const TestRun& run);
// A test name made safe to print on a terminal: control characters (C0, DEL and the C1 range)
// become visible "\xNN" escapes, so no name can move the cursor or start an escape sequence.
std::string printable(std::string_view name);

class Reporter {
public:
    Reporter(const std::vector<std::string>& names, std::vector<std::size_t> selected, bool progress_bar,
             std::FILE* out);

    void started(std::size_t index);
    void finished(TestRun run);
    // Server output that belongs to no test.
    void note(std::string_view text);
    // Prints the closing line; every selected test must have finished.
    void finish();

    // In selection (table) order; valid after finish().
    const std::vector<TestRun>& runs() const { return ordered_; }

private:
    void printReady();
    void printRun(std::size_t position, const TestRun& run);
    void drawBar();
    void eraseBar();

    const std::vector<std::string>& names_;
    std::vector<std::size_t> selected_;
    std::vector<std::size_t> position_of_index_;  // table index -> position in selected_
    std::vector<std::optional<TestRun>> results_;
    std::vector<TestRun> ordered_;
    std::vector<std::size_t> running_;
    std::size_t next_to_print_ = 0;
    std::size_t done_ = 0;
    std::size_t problems_ = 0;
    bool progress_bar_;
    bool bar_shown_ = false;
    std::FILE* out_;
};

}  // namespace vorn::run
