// The runner's building blocks in-process: command line, logging, the leak-checking allocator
// and the progress display.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "arguments.hpp"
#include "leak_checking_resource.hpp"
#include "logging.hpp"
#include "progress_display.hpp"
#include "runner_internal.hpp"
#include "stderr_capture.hpp"
#include "text_pattern.hpp"

namespace vorn::runner::detail {
namespace {

using vorn::runner_tests::StderrCapture;

CommandLine read(std::vector<const char*> argv, std::size_t buffer_size = 4096) {
    std::vector<std::byte> buffer(buffer_size);
    return readCommandLine(static_cast<int>(argv.size()), argv.data(), buffer);
}

TEST(CommandLine, ChoosesTheMode) {
    EXPECT_EQ(read({"vorn_selftest"}), CommandLine::terminal_mode);
    EXPECT_EQ(read({}), CommandLine::terminal_mode);
    EXPECT_EQ(read({"vorn_selftest", "--listen=-"}), CommandLine::server_mode);
    EXPECT_EQ(read({"vorn_selftest", "--listen=-", "--listen=-"}), CommandLine::server_mode);
    EXPECT_EQ(read({"vorn_selftest", "--listen"}), CommandLine::unrecognized_argument);
    EXPECT_EQ(read({"vorn_selftest", "--listen=-", ""}), CommandLine::unrecognized_argument);
    EXPECT_EQ(read({"vorn_selftest", "--listen=--"}), CommandLine::unrecognized_argument);
}

TEST(CommandLine, EveryByteCountsIncludingTheProgramNameAndTerminators) {
    // "p\0" + "--listen=-\0" is 13 bytes.
    EXPECT_EQ(read({"p", "--listen=-"}, 13), CommandLine::server_mode);
    EXPECT_EQ(read({"p", "--listen=-"}, 12), CommandLine::too_large);
    const std::string long_name(4095, 'x');
    EXPECT_EQ(read({long_name.c_str()}), CommandLine::terminal_mode);
    const std::string too_long(4096, 'x');
    EXPECT_EQ(read({too_long.c_str()}), CommandLine::too_large);
}

TEST(Logging, ErrorCountSaturatesInsteadOfWrapping) {
    std::atomic<std::uint64_t> counter{std::numeric_limits<std::uint64_t>::max() - 1};
    saturatingIncrement(counter);
    EXPECT_EQ(counter.load(), std::numeric_limits<std::uint64_t>::max());
    saturatingIncrement(counter);
    EXPECT_EQ(counter.load(), std::numeric_limits<std::uint64_t>::max());
    std::atomic<std::uint64_t> zero{0};
    saturatingIncrement(zero);
    EXPECT_EQ(zero.load(), 1u);
}

TEST(Logging, LineFormatAndLevels) {
    EXPECT_EQ(formatLogLine(LogLevel::err, "gpa", "m"), "[gpa] (err): m\n");
    EXPECT_EQ(formatLogLine(LogLevel::warn, "s", "m"), "[s] (warn): m\n");
    EXPECT_EQ(formatLogLine(LogLevel::info, "s", "m"), "[s] (info): m\n");
    EXPECT_EQ(formatLogLine(LogLevel::debug, "s", ""), "[s] (debug): \n");

    StderrCapture capture;
    resetLogErrCount();
    setLogLevel(LogLevel::debug);
    vorn::testing::logDebug("s", "shown at debug level");
    setLogLevel(LogLevel::err);
    vorn::testing::logWarn("s", "dropped");
    vorn::testing::logError("s", "counted and shown");
    setLogLevel(LogLevel::warn);
    EXPECT_EQ(capture.text(), "[s] (debug): shown at debug level\n[s] (err): counted and shown\n");
    EXPECT_EQ(logErrCount(), 1u);
    resetLogErrCount();
}

TEST(LeakCheckingResource, HonoursAlignmentAndReportsNothingWhenAllIsFreed) {
    LeakCheckingResource resource;
    std::vector<std::pair<void*, std::size_t>> blocks;
    for (const std::size_t alignment : {1u, 8u, 64u, 4096u}) {
        void* p = resource.allocate(3 * alignment, alignment);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignment, 0u);
        blocks.emplace_back(p, alignment);
    }
    EXPECT_EQ(resource.liveBlocks(), 4u);
    for (const auto& [p, alignment] : blocks) resource.deallocate(p, 3 * alignment, alignment);
    StderrCapture capture;
    EXPECT_FALSE(resource.checkForLeaks());
    EXPECT_EQ(capture.text(), "");
}

TEST(LeakCheckingResource, ReportsEachLeakWithItsAllocationTrace) {
    LeakCheckingResource resource;
    void* first = resource.allocate(8, 8);
    void* second = resource.allocate(16, 8);
    StderrCapture capture;
    resetLogErrCount();
    EXPECT_TRUE(resource.checkForLeaks());
    EXPECT_EQ(logErrCount(), 2u);
    resetLogErrCount();
    const std::string text = capture.text();
    for (void* p : {first, second}) {
        char address[32];
        std::snprintf(address, sizeof address, "%p", p);
        EXPECT_NE(text.find(std::string("[gpa] (err): memory address ") + address + " leaked: \n"),
                  std::string::npos)
            << text;
    }
    EXPECT_NE(text.find("runner_parts_test.cpp"), std::string::npos) << text;
    // Reset gives everything back and forgets it.
    resource.reset();
    EXPECT_EQ(resource.liveBlocks(), 0u);
    EXPECT_FALSE(resource.checkForLeaks());
}

TEST(LeakCheckingResource, UnknownFreeIsLoggedAndLeftAlone) {
    LeakCheckingResource resource;
    LeakCheckingResource other;
    void* foreign = other.allocate(8, 8);
    StderrCapture capture;
    resetLogErrCount();
    resource.deallocate(foreign, 8, 8);
    EXPECT_EQ(logErrCount(), 1u);
    resetLogErrCount();
    EXPECT_TRUE(vorn::runner_tests::matchesPattern(
        capture.text(), "[gpa] (err): free of memory address 0x% that this allocator does not own: \n*"))
        << capture.text();
    EXPECT_EQ(other.liveBlocks(), 1u);
    other.deallocate(foreign, 8, 8);
}

TEST(LeakCheckingResource, BadAlignmentIsAnAllocationFailure) {
    LeakCheckingResource resource;
    // Through a variable: the compiler rejects a constant alignment that is not a power of 2.
    volatile std::size_t odd_alignment = 3;
    EXPECT_THROW((void)resource.allocate(8, odd_alignment), std::bad_alloc);
    EXPECT_THROW((void)resource.allocate(std::numeric_limits<std::size_t>::max() - 64, 8), std::bad_alloc);
    EXPECT_THROW((void)resource.allocate(static_cast<std::size_t>(PTRDIFF_MAX) + 1, 8), std::bad_alloc);
    EXPECT_EQ(resource.liveBlocks(), 0u);
}

TEST(LeakCheckingResource, IsSafeFromSeveralThreads) {
    LeakCheckingResource resource;
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&resource] {
            for (int i = 0; i < 2000; ++i) {
                void* p = resource.allocate(32, 16);
                resource.deallocate(p, 32, 16);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(resource.liveBlocks(), 0u);
}

TEST(ProgressDisplay, DrawsRootLabelAndRunningEntryAndReturnsTheCursor) {
    std::recursive_mutex stderr_mutex;
    ProgressDisplay display(stderr_mutex);
    display.start("Test", 12, [](ProgressDisplay&) { return std::thread(); });
    display.beginEntry("vorn_kernel.test.HomVec4: normalization on S³");
    std::array<char, 4096> buffer;
    EXPECT_EQ(display.render(buffer, 80),
              "\r\x1b[JTest [0/12]\n\xe2\x94\x94\xe2\x94\x80 vorn_kernel.test.HomVec4: normalization on "
              "S³\n\x1b[2A");
    display.endEntry();
    EXPECT_EQ(display.render(buffer, 80), "\r\x1b[JTest [1/12]\n\x1b[1A");
}

TEST(ProgressDisplay, LinesAreClippedToTheTerminalWidthByCharacters) {
    std::recursive_mutex stderr_mutex;
    ProgressDisplay display(stderr_mutex);
    display.start("Test", 2, [](ProgressDisplay&) { return std::thread(); });
    display.beginEntry("S³S³S³S³S³");
    std::array<char, 4096> buffer;
    // 12 columns: 11 usable (the last column would wrap on some terminals), 3 for the branch,
    // 8 characters of the name.
    EXPECT_EQ(display.render(buffer, 12), "\r\x1b[JTest [0/2]\n\xe2\x94\x94\xe2\x94\x80 S³S³S³S³\n\x1b[2A");
    EXPECT_EQ(display.render(buffer, 8), "\r\x1b[JTest [0\n\xe2\x94\x94\xe2\x94\x80 S³S³\n\x1b[2A");
}

TEST(ProgressDisplay, HugeTerminalAndLongNameStillEndWithTheCursorMove) {
    std::recursive_mutex stderr_mutex;
    ProgressDisplay display(stderr_mutex);
    display.start("Test", 2, [](ProgressDisplay&) { return std::thread(); });
    std::string name;
    for (int i = 0; i < 3000; ++i) name += "\xf0\x9f\x8c\x90";  // four bytes each
    display.beginEntry(name);
    std::array<char, 4096> buffer;
    const std::string_view drawn = display.render(buffer, 65535);
    EXPECT_LT(drawn.size(), buffer.size());
    EXPECT_EQ(drawn.substr(drawn.size() - 5), "\n\x1b[2A");
}

TEST(ProgressDisplay, ThreadThatCannotStartIsAWarningAndTheRunGoesOn) {
    std::recursive_mutex stderr_mutex;
    ProgressDisplay display(stderr_mutex);
    StderrCapture capture;
    resetLogErrCount();
    display.start("Test", 1, [](ProgressDisplay&) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    EXPECT_FALSE(display.running());
    display.beginEntry("x");
    display.endEntry();
    display.stop();
    EXPECT_EQ(capture.text(),
              "[progress] (warn): unable to spawn thread for printing progress to terminal: " +
                  std::make_error_code(std::errc::resource_unavailable_try_again).message() + "\n");
    EXPECT_EQ(logErrCount(), 0u);
}

TEST(ProgressDisplay, RealThreadStopsPromptlyAndLeavesNothingDrawn) {
    std::recursive_mutex stderr_mutex;
    ProgressDisplay display(stderr_mutex);
    StderrCapture capture;
    display.start("Test", 1);
    EXPECT_TRUE(display.running());
    display.stop();  // before the first drawing is due
    EXPECT_FALSE(display.running());
    EXPECT_FALSE(display.visible());
    EXPECT_EQ(capture.text(), "");
}

}  // namespace
}  // namespace vorn::runner::detail

namespace vorn::runner_tests {
namespace {

TEST(TextPattern, MatchesOnlyWhatItShould) {
    EXPECT_TRUE(matchesPattern("thread 1234 panic: x", "thread # panic: x"));
    EXPECT_FALSE(matchesPattern("thread  panic: x", "thread # panic: x"));
    EXPECT_TRUE(matchesPattern("at 0x7f3a leaked: ", "at 0x% leaked: "));
    EXPECT_FALSE(matchesPattern("at 0x7F3A leaked: ", "at 0x% leaked: "));
    EXPECT_TRUE(matchesPattern("a/b.cpp:12:5: check", "*.cpp:#:#: check"));
    EXPECT_FALSE(matchesPattern("a/b.cpp:12:5: check!", "*.cpp:#:#: check"));
}

}  // namespace
}  // namespace vorn::runner_tests
