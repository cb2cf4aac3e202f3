// Memory resources for the geodesic tests, that count or refuse requests.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "support/same_bits.hpp"
#include "vorn_geodesic.hpp"

namespace vorn::geodesic_test {

using vorn_kernel::HomVec4;

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

}  // namespace vorn::geodesic_test
