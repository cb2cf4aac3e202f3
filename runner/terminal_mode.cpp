// Terminal mode: every test once, in table order, with a report on standard error.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "process_state.hpp"
#include "runner_internal.hpp"
#include "text.hpp"

namespace vorn::runner::detail {
namespace {

void print(std::string_view text) {
    StderrLock lock;
    writeStderr(text);
}

// "{position}/{total} {name}..."
void appendTestHeading(std::string& out, std::size_t position, std::size_t total, std::string_view name) {
    appendDecimal(out, position);
    out += '/';
    appendDecimal(out, total);
    out += ' ';
    out += name;
    out += "...";
}

}  // namespace

int runTerminalMode(std::span<const vorn::testing::TestCase> tests) {
    ProcessState& state = processState();
    const std::size_t total = tests.size();
    std::uint64_t ok_count = 0;
    std::uint64_t skip_count = 0;
    std::uint64_t fail_count = 0;
    std::uint64_t leaks = 0;

    const bool have_tty = ::isatty(STDERR_FILENO) == 1;
    // Passing tests print nothing of their own on a terminal: the display shows them.
    if (have_tty) state.progress.start("Test", total);

    for (std::size_t i = 0; i < total; ++i) {
        const vorn::testing::TestCase& test = tests[i];
        resetTestAllocator();
        setLogLevel(LogLevel::warn);
        state.progress.beginEntry(test.name);

        std::string line;
        if (!have_tty) {
            appendTestHeading(line, i + 1, total, test.name);
            print(line);  // left open: a failing check's message continues this line
        }

        const TestOutcome outcome = callTest(test);
        line.clear();
        switch (outcome.status) {
            case TestStatus::passed:
                ++ok_count;
                state.progress.endEntry();
                if (!have_tty) print("OK\n");
                break;
            case TestStatus::skipped:
                ++skip_count;
                if (have_tty) appendTestHeading(line, i + 1, total, test.name);
                line += "SKIP\n";
                print(line);
                state.progress.endEntry();
                break;
            case TestStatus::failed:
                ++fail_count;
                if (have_tty) appendTestHeading(line, i + 1, total, test.name);
                line += "FAIL (";
                line += outcome.error_name;
                line += ")\n";
                print(line);
                printErrorTrace();
                state.progress.endEntry();
                break;
        }

        if (checkTestAllocatorForLeaks()) ++leaks;
    }
    state.progress.stop();
    // What the last test left behind has been reported; give it back.
    resetTestAllocator();

    std::string summary;
    if (ok_count == total) {
        summary += "All ";
        appendDecimal(summary, ok_count);
        summary += " tests passed.\n";
    } else {
        appendDecimal(summary, ok_count);
        summary += " passed; ";
        appendDecimal(summary, skip_count);
        summary += " skipped; ";
        appendDecimal(summary, fail_count);
        summary += " failed.\n";
    }
    const std::uint64_t errors = logErrCount();
    if (errors != 0) {
        appendDecimal(summary, errors);
        summary += " errors were logged.\n";
    }
    if (leaks != 0) {
        appendDecimal(summary, leaks);
        summary += " tests leaked memory.\n";
    }
    print(summary);

    return leaks != 0 || errors != 0 || fail_count != 0 ? 1 : 0;
}

}  // namespace vorn::runner::detail
