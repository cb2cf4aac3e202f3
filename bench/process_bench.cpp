// Whole processes, started and waited for: the self-checking executable running its registered tests
// (standard error to a file) against a program that does nothing.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "child_process.hpp"

namespace vorn::bench {
namespace {

// The file the programs' standard error goes to, empty at the start of a benchmark and removed
// at its end. Every run appends to it: truncating a file and writing it again on each run would
// measure the file system instead (ext4 flushes such a file when it is closed; see
// docs/performance.md).
class StderrFile {
public:
    StderrFile() : path_("/tmp/vorn_bench_stderr_" + std::to_string(::getpid()) + ".txt") {
        std::FILE* emptied = std::fopen(path_.c_str(), "w");
        if (emptied != nullptr) std::fclose(emptied);
    }
    StderrFile(const StderrFile&) = delete;
    StderrFile& operator=(const StderrFile&) = delete;
    ~StderrFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void measureProcess(benchmark::State& state, const std::string& path) {
    const StderrFile stderr_file;
    for (auto _ : state) {
        if (runToCompletion(path, stderr_file.path()) != 0) {
            state.SkipWithError("the program did not exit with status 0");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_process_vorn_selftest(benchmark::State& state) { measureProcess(state, VORN_SELFTEST_PATH); }
BENCHMARK(BM_process_vorn_selftest)->UseRealTime();

void BM_process_empty_program(benchmark::State& state) { measureProcess(state, VORN_EMPTY_PROGRAM_PATH); }
BENCHMARK(BM_process_empty_program)->UseRealTime();

// The two programs in turn, so that a change in the machine's load during the run, or a drift
// of start-up times, falls on both alike. The counters are the mean wall-clock time of each,
// per run.
void BM_process_vorn_selftest_and_empty_in_turn(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const StderrFile stderr_file;
    Clock::duration selftest{};
    Clock::duration empty{};
    for (auto _ : state) {
        const auto start = Clock::now();
        const int selftest_status = runToCompletion(VORN_SELFTEST_PATH, stderr_file.path());
        const auto between = Clock::now();
        const int empty_status = runToCompletion(VORN_EMPTY_PROGRAM_PATH, stderr_file.path());
        const auto end = Clock::now();
        if (selftest_status != 0 || empty_status != 0) {
            state.SkipWithError("a program did not exit with status 0");
            break;
        }
        selftest += between - start;
        empty += end - between;
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["selftest_ns"] = std::chrono::duration<double, std::nano>(selftest).count() / runs;
    state.counters["empty_ns"] = std::chrono::duration<double, std::nano>(empty).count() / runs;
}
BENCHMARK(BM_process_vorn_selftest_and_empty_in_turn)->UseRealTime();

}  // namespace
}  // namespace vorn::bench
