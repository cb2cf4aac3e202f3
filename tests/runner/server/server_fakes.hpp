// In-memory streams and a fake runner for driving the server loop in-process.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "server_frames.hpp"
#include "server_loop.hpp"

namespace vorn::server_test {

// Hands out `input` in chunks of at most `chunk` bytes; fails once `fail_at` bytes were read.
// Records every request so tests can check the read size and that it stays in the buffer.
class ScriptedSource final : public vorn::runner::server::ByteSource {
public:
    explicit ScriptedSource(Bytes input, std::size_t chunk = SIZE_MAX,
                            std::optional<std::size_t> fail_at = std::nullopt)
        : input_(std::move(input)), chunk_(chunk), fail_at_(fail_at) {}

    std::optional<std::size_t> read(std::span<std::byte> into) override {
        requests.push_back(into);
        if (fail_at_ && consumed >= *fail_at_) return std::nullopt;
        std::size_t n = std::min({into.size(), chunk_, input_.size() - consumed});
        if (fail_at_) n = std::min(n, *fail_at_ - consumed);
        std::copy_n(input_.begin() + static_cast<std::ptrdiff_t>(consumed), n, into.begin());
        consumed += n;
        return n;
    }

    std::vector<std::span<std::byte>> requests;
    std::size_t consumed = 0;

private:
    Bytes input_;
    std::size_t chunk_;
    std::optional<std::size_t> fail_at_;
};

class MemorySink final : public vorn::runner::server::ByteSink {
public:
    explicit MemorySink(std::optional<std::size_t> fail_from_write = std::nullopt)
        : fail_from_(fail_from_write) {}

    bool write(std::span<const std::byte> bytes) override {
        if (fail_from_ && writes >= *fail_from_) return false;
        ++writes;
        data.insert(data.end(), bytes.begin(), bytes.end());
        return true;
    }

    Bytes data;
    std::size_t writes = 0;

private:
    std::optional<std::size_t> fail_from_;
};

// Counts what passes through, so tests can see the metadata come from the test allocator.
class CountingResource final : public std::pmr::memory_resource {
public:
    std::size_t allocations = 0;
    std::size_t live_bytes = 0;
    bool fail = false;

private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        if (fail) throw std::bad_alloc();
        ++allocations;
        live_bytes += bytes;
        return std::pmr::new_delete_resource()->allocate(bytes, alignment);
    }
    void do_deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
        live_bytes -= bytes;
        std::pmr::new_delete_resource()->deallocate(p, bytes, alignment);
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
};

// The runner's per-test machinery, replaced by counters the synthetic tests can steer.
struct FakeRunner {
    CountingResource resource;
    int allocator_resets = 0;
    int log_resets = 0;
    int traces_printed = 0;
    bool leak = false;         // set by a leaking test; cleared by an allocator reset
    bool always_leak = false;  // every leak check reports a leak
    std::uint64_t log_err_count = 0;
    std::vector<std::string> calls;  // names of the tests called, in order
    // Events in order, to check that resets come before the test and the trace after it.
    std::string events;
};

FakeRunner& fakeRunner();
const vorn::runner::server::TestHooks& fakeHooks();

// A synthetic table: passes, fails, skips, leaks, logs errors, logs far too many errors.
std::span<const vorn::testing::TestCase> syntheticTable();
inline constexpr std::uint32_t passing_test = 0, failing_test = 1, skipped_test = 2, leaking_test = 3,
                               logging_test = 4, flooding_test = 5;
inline constexpr std::uint64_t logging_test_count = 7;

}  // namespace vorn::server_test
