// A runner over a small synthetic table for the end-to-end server tests: tests that pass,
// fail, skip, leak and log, and tests that misbehave with the process's standard streams.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <iostream>
#include <memory_resource>
#include <string>

#include "vorn_log.hpp"
#include "vorn_runner.hpp"
#include "vorn_testing.hpp"

namespace {

void passes() { vorn::testing::expectTrue(true); }

void fails() { vorn::testing::expectTrue(false); }

void skips() { vorn::testing::skip(); }

void leaks() { [[maybe_unused]] void* kept = vorn::testing::allocator().allocate(24, 8); }

void logsTwoErrors() {
    vorn::testing::logError("fixture", "first error");
    vorn::testing::logError("fixture", "second error");
}

// Every way a test or a library might reach standard output, including a half line left in a
// stdio buffer and more than a pipe holds.
void printsToStdout() {
    std::printf("printf without a line end");
    std::puts("puts");
    std::cout << "cout " << 42 << std::endl;
    std::fwrite("fwrite\n", 1, 7, stdout);
    const std::string big(100000, 'x');
    std::fputs(big.c_str(), stdout);
    std::fflush(stdout);
    (void)!::write(STDOUT_FILENO, "raw write\n", 10);
    std::printf("left in the buffer");
}

// Standard input carries the parent's messages; a test must not be able to take them.
void readsStdin() {
    char c = 0;
    vorn::testing::expectTrue(::read(STDIN_FILENO, &c, 1) == 0);
    vorn::testing::expectTrue(std::getchar() == EOF);
}

constexpr std::array<vorn::testing::TestCase, 7> tests{{
    {"server_fixture.test.passes", passes},
    {"server_fixture.test.fails", fails},
    {"server_fixture.test.skips", skips},
    {"server_fixture.test.leaks", leaks},
    {"server_fixture.test.logs two errors", logsTwoErrors},
    {"server_fixture.test.prints to stdout", printsToStdout},
    {"server_fixture.test.reads stdin", readsStdin},
}};

}  // namespace

int main(int argc, char** argv) { return vorn::runner::run(argc, argv, tests); }
