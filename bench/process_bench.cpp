// Whole processes, started and waited for: the self-checking executable running its 41 tests
// (standard error to a file) against a program that does nothing.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "child_process.hpp"

namespace vorn_bench {
namespace {

const std::string& stderrFile() {
    static const std::string path = "/tmp/vorn_bench_stderr_" + std::to_string(::getpid()) + ".txt";
    return path;
}

// Every run appends to the same file. Truncating a file and writing it again on each run would
// measure the file system instead: ext4 flushes such a file when it is closed, several
// milliseconds here.
void measureProcess(benchmark::State& state, const std::string& path) {
    std::FILE* reset = std::fopen(stderrFile().c_str(), "w");
    if (reset != nullptr) std::fclose(reset);
    for (auto _ : state) {
        if (runToCompletion(path, stderrFile()) != 0) {
            state.SkipWithError("the program did not exit with status 0");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    std::remove(stderrFile().c_str());
}

void BM_process_vorn_selftest(benchmark::State& state) { measureProcess(state, VORN_SELFTEST_PATH); }
BENCHMARK(BM_process_vorn_selftest)->UseRealTime();

void BM_process_empty_program(benchmark::State& state) { measureProcess(state, VORN_EMPTY_PROGRAM_PATH); }
BENCHMARK(BM_process_empty_program)->UseRealTime();

}  // namespace
}  // namespace vorn_bench
