// Helpers for the geodesic tests: bit-level comparison, values hidden from constant folding,
// and memory resources that count or refuse requests.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "vorn_geodesic.hpp"

namespace geodesic_test {

using vorn_kernel::HomVec4;

inline std::uint64_t bitsOf(double x) { return std::bit_cast<std::uint64_t>(x); }

// The compiler may fold sin/cos of a constant with a result that differs in the last bit from
// the run-time library the kernel calls; reading through a volatile keeps it at run time.
inline double atRunTime(double x) {
    volatile double hidden = x;
    return hidden;
}

inline ::testing::AssertionResult sameBits(HomVec4 expected, HomVec4 actual) {
    const double e[4] = {expected.x, expected.y, expected.z, expected.w};
    const double a[4] = {actual.x, actual.y, actual.z, actual.w};
    for (int i = 0; i < 4; ++i) {
        if (bitsOf(e[i]) != bitsOf(a[i])) {
            return ::testing::AssertionFailure()
                   << "component " << i << ": expected " << e[i] << " (" << std::hexfloat << e[i] << "), got "
                   << a[i] << " (" << a[i] << std::defaultfloat << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult sameBits(const vorn_geodesic::GeodesicState& expected,
                                           const vorn_geodesic::GeodesicState& actual) {
    auto q = sameBits(expected.pos(), actual.pos());
    if (!q) return q << " (position)";
    auto v = sameBits(expected.vel(), actual.vel());
    if (!v) return v << " (velocity)";
    return ::testing::AssertionSuccess();
}

// Passes every request on to the heap and records it; `outstanding` is what has not come back.
class CountingResource : public std::pmr::memory_resource {
public:
    struct Request {
        std::size_t bytes;
        std::size_t alignment;
    };
    std::vector<Request> requests;
    std::size_t outstanding = 0;

private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        requests.push_back({bytes, alignment});
        void* block = std::pmr::new_delete_resource()->allocate(bytes, alignment);
        ++outstanding;
        return block;
    }
    void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
        std::pmr::new_delete_resource()->deallocate(block, bytes, alignment);
        --outstanding;
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
};

// Refuses every request, as an exhausted heap would.
class FailingResource : public std::pmr::memory_resource {
public:
    std::size_t attempts = 0;

private:
    void* do_allocate(std::size_t, std::size_t) override {
        ++attempts;
        throw std::bad_alloc{};
    }
    void do_deallocate(void*, std::size_t, std::size_t) override {}
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
};

}  // namespace geodesic_test
