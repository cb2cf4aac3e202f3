// A runner over small synthetic tables, one per way a test can end; the table is picked by
// the environment variable VORN_FIXTURE so that the command line stays the runner's own.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory_resource>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "vorn_log.hpp"
#include "vorn_runner.hpp"
#include "vorn_testing.hpp"

namespace {

using vorn::testing::TestCase;

void passes() {
    vorn::testing::expectApproxEqAbs(1.0, 1.0, 0.0);
    vorn::testing::expectTrue(true);
}

void failsApprox() { vorn::testing::expectApproxEqAbs(1.0, 0.6, 1e-10); }

void failsApproxFloat() { vorn::testing::expectApproxEqAbs(0.1f, 0.2f, 0.01f); }

void failsExpectTrue() { vorn::testing::expectTrue(1 + 1 == 3); }

void skips() { vorn::testing::skip(); }

void leaks() {
    std::pmr::memory_resource& allocator = vorn::testing::allocator();
    [[maybe_unused]] void* kept = allocator.allocate(24, 8);
    void* freed = allocator.allocate(64, 16);
    allocator.deallocate(freed, 64, 16);
}

void logsError() { vorn::testing::logError("fixture", "something went wrong"); }

void logsEveryLevel() {
    vorn::testing::logError("fixture", "an error");
    vorn::testing::logWarn("fixture", "a warning");
    vorn::testing::logInfo("fixture", "some information");
    vorn::testing::logDebug("fixture", "a detail");
}

void runsOutOfMemory() { throw std::bad_alloc(); }

void throwsRuntimeError() { throw std::runtime_error("boom"); }

void throwsInt() { throw 42; }

void freesWithWrongSize() {
    std::pmr::memory_resource& allocator = vorn::testing::allocator();
    void* block = allocator.allocate(32, 8);
    allocator.deallocate(block, 16, 8);
}

void allocatesTooMuch() {
    [[maybe_unused]] void* never =
        vorn::testing::allocator().allocate(std::numeric_limits<std::size_t>::max() - 64, 8);
}

void dereferencesBadPointer() {
    // Read through a volatile so the compiler cannot see, and reject, the constant address.
    volatile std::uintptr_t address = 0x10;
    *reinterpret_cast<volatile int*>(address) = 1;
}

void executesAnIllegalInstruction() { __builtin_trap(); }

// Touching a mapped page that lies wholly past the end of its file raises a bus error.
void touchesPastTheEndOfAMappedFile() {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) vorn::testing::skip();
    const long page = ::sysconf(_SC_PAGESIZE);
    if (::ftruncate(::fileno(file), page) != 0) vorn::testing::skip();
    void* mapping = ::mmap(nullptr, static_cast<std::size_t>(2 * page), PROT_READ | PROT_WRITE, MAP_SHARED,
                           ::fileno(file), 0);
    if (mapping == MAP_FAILED) vorn::testing::skip();
    static_cast<volatile char*>(mapping)[page] = 1;
}

// Bytes this process has written so far, all threads together; nullopt where /proc cannot tell.
std::optional<std::uint64_t> bytesWritten() {
    const int fd = ::open("/proc/self/io", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char text[512];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0) return std::nullopt;
    const std::string_view io(text, static_cast<std::size_t>(got));
    const std::size_t at = io.find("wchar: ");
    if (at == std::string_view::npos) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = at + 7; i < io.size() && io[i] >= '0' && io[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(io[i] - '0');
    }
    return value;
}

// Runs until the progress display, drawing from its own thread, has written during this test
// (nothing else writes meanwhile). The bound only keeps a display that never draws from
// hanging the run; without /proc the test runs for a fixed while instead.
void waitForTheDisplayToDraw() {
    const auto before = bytesWritten();
    if (!before) {
        std::this_thread::sleep_for(std::chrono::milliseconds(450));
        return;
    }
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (bytesWritten() == before && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void slowlyFails() {
    waitForTheDisplayToDraw();
    vorn::testing::expectApproxEqAbs(2.0, 3.0, 0.5);
}

void slowlyPasses() { waitForTheDisplayToDraw(); }

constexpr std::array pass_table{TestCase{"fixture.test.passes", passes}};

constexpr std::array mixed_table{
    TestCase{"fixture.test.passes", passes},
    TestCase{"fixture.test.approx fails", failsApprox},
    TestCase{"fixture.test.expectTrue fails", failsExpectTrue},
    TestCase{"fixture.test.skips", skips},
    TestCase{"fixture.test.passes again", passes},
};

constexpr std::array skip_table{
    TestCase{"fixture.test.passes", passes},
    TestCase{"fixture.test.skips", skips},
};

constexpr std::array leak_table{
    TestCase{"fixture.test.leaks", leaks},
    TestCase{"fixture.test.passes", passes},
};

constexpr std::array log_table{TestCase{"fixture.test.logs an error", logsError}};

constexpr std::array levels_table{TestCase{"fixture.test.logs every level", logsEveryLevel}};

constexpr std::array exception_table{
    TestCase{"fixture.test.out of memory", runsOutOfMemory},
    TestCase{"fixture.test.runtime error", throwsRuntimeError},
    TestCase{"fixture.test.throws an int", throwsInt},
    TestCase{"fixture.test.allocates too much", allocatesTooMuch},
    TestCase{"fixture.test.passes", passes},
};

constexpr std::array float_table{TestCase{"fixture.test.float approx fails", failsApproxFloat}};

constexpr std::array misuse_table{TestCase{"fixture.test.frees with the wrong size", freesWithWrongSize}};

constexpr std::array crash_table{
    TestCase{"fixture.test.dereferences a bad pointer", dereferencesBadPointer},
    TestCase{"fixture.test.passes", passes},
};

constexpr std::array illegal_table{
    TestCase{"fixture.test.illegal instruction", executesAnIllegalInstruction}};

constexpr std::array bus_table{TestCase{"fixture.test.bus error", touchesPastTheEndOfAMappedFile}};

constexpr std::array slow_table{
    TestCase{"fixture.test.slowly passes", slowlyPasses},
    TestCase{"fixture.test.slowly fails", slowlyFails},
};

struct Table {
    std::string_view name;
    std::span<const TestCase> tests;
};

constexpr std::array tables{
    Table{"pass", pass_table},           Table{"mixed", mixed_table}, Table{"skip", skip_table},
    Table{"leak", leak_table},           Table{"log", log_table},     Table{"levels", levels_table},
    Table{"exception", exception_table}, Table{"float", float_table}, Table{"misuse", misuse_table},
    Table{"crash", crash_table},         Table{"slow", slow_table},   Table{"empty", {}},
    Table{"illegal", illegal_table},     Table{"bus", bus_table},
};

}  // namespace

int main(int argc, char** argv) {
    const char* chosen = std::getenv("VORN_FIXTURE");
    const std::string_view name = chosen != nullptr ? chosen : "pass";
    for (const Table& table : tables) {
        if (table.name == name) return vorn::runner::run(argc, argv, table.tests);
    }
    return 125;
}
