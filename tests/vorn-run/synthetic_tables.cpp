// Executables over synthetic tables, driven by vorn-run in the tests. VORN_SYNTHETIC_TABLE
// picks the table: "mixed" (default) has one test of every way a test can end, "names" has
// only passing tests whose names are hard to quote.
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <thread>

#include "vorn_log.hpp"
#include "vorn_runner.hpp"
#include "vorn_testing.hpp"

namespace {

using vorn::testing::TestCase;

void passes() { vorn::testing::expectTrue(true); }

void failsACheck() { vorn::testing::expectApproxEqAbs(1.0, 2.0, 0.5); }

void dereferencesNull() {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

void aborts() {
    std::fputs("about to abort\n", stderr);
    std::abort();
}

void neverReturns() {
    std::fputs("going to sleep\n", stderr);
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

void leaks() { (void)vorn::testing::allocator().allocate(48); }

void logsAnError() { vorn::testing::logError("synthetic", "something went wrong"); }

void skips() { vorn::testing::skip(); }

void exitsEarly() { std::_Exit(3); }

// Writes far more than a pipe holds before it passes: the parent must keep reading.
void floodsStandardError() {
    static char line[1025];
    for (std::size_t i = 0; i < 1024; ++i) line[i] = 'x';
    line[1024] = '\n';
    for (int i = 0; i < 4096; ++i) std::fwrite(line, 1, sizeof line, stderr);
    vorn::testing::expectTrue(false);
}

constexpr std::array mixed{
    TestCase{"synthetic.test.passes first", passes},
    TestCase{"synthetic.test.fails a check", failsACheck},
    TestCase{"synthetic.test.dereferences null", dereferencesNull},
    TestCase{"synthetic.test.aborts", aborts},
    TestCase{"synthetic.test.never returns", neverReturns},
    TestCase{"synthetic.test.leaks memory", leaks},
    TestCase{"synthetic.test.logs an error", logsAnError},
    TestCase{"synthetic.test.skips", skips},
    TestCase{"synthetic.test.exits early", exitsEarly},
    TestCase{"synthetic.test.floods standard error", floodsStandardError},
    TestCase{"synthetic.test.passes last", passes},
};

constexpr std::array names{
    TestCase{"synthetic.test.plain", passes},
    TestCase{"synthetic.test.spaces, commas; and semicolons", passes},
    TestCase{"synthetic.test.[brackets] ]=] ]==] and $ {braces} ${x}", passes},
    TestCase{"synthetic.test.\"quotes\" 'single' \\back\\slash", passes},
    TestCase{"synthetic.test.<markup> & entities &amp;", passes},
    TestCase{"synthetic.test.γ(π) = −p ⟂ Π² → ε=0", passes},
    TestCase{"synthetic.test.regex .* ^$ (a|b)+ #hash", passes},
};

}  // namespace

int main(int argc, char** argv) {
    const char* table = std::getenv("VORN_SYNTHETIC_TABLE");
    if (table != nullptr && std::string_view(table) == "names") return vorn::runner::run(argc, argv, names);
    return vorn::runner::run(argc, argv, mixed);
}
