// Counts every use of the global heap, so the tests can tell that stepping allocates nothing.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <memory_resource>
#include <new>

#include <gtest/gtest.h>

#include "vorn_geodesic.hpp"

namespace {
std::atomic<std::size_t> g_heap_allocations{0};
}  // namespace

void* operator new(std::size_t bytes) {
    ++g_heap_allocations;
    if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
    throw std::bad_alloc{};
}
// Not inlined: g++ would otherwise see free() applied to the result of operator new and, in the
// sanitizer build, reject it as a mismatched deallocation.
[[gnu::noinline]] void operator delete(void* block) noexcept { std::free(block); }
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

using vorn_geodesic::freeGeodesicRhs;
using vorn_geodesic::GeodesicState;
using vorn_kernel::HomVec4;

TEST(HeapUse, Rk4StepAllocatesNothing) {
    const GeodesicState y = GeodesicState::fromHomVec4(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 1, 0, 0));
    const std::size_t before = g_heap_allocations.load();
    const GeodesicState next = vorn_geodesic::rk4Step(freeGeodesicRhs, 0.0, y, 0.01);
    EXPECT_EQ(g_heap_allocations.load(), before);
    EXPECT_NE(next.q[1], 0.0);
}

TEST(HeapUse, Rk4IntegrateUsesOnlyTheGivenResource) {
    // A fixed buffer with a null upstream: anything beyond the one block would throw.
    alignas(GeodesicState) std::byte buffer[11 * sizeof(GeodesicState)];
    std::pmr::monotonic_buffer_resource arena{buffer, sizeof buffer, std::pmr::null_memory_resource()};
    const GeodesicState y = GeodesicState::fromHomVec4(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 1, 0, 0));
    const std::size_t before = g_heap_allocations.load();
    const auto trajectory = vorn_geodesic::rk4Integrate(freeGeodesicRhs, 0.0, 1.0, y, 10, arena);
    EXPECT_EQ(g_heap_allocations.load(), before);
    EXPECT_EQ(static_cast<const void*>(trajectory.data()), static_cast<const void*>(buffer));
}

}  // namespace
