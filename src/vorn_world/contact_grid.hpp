// The contact pass's grid: each usable body's unit representative (w ≥ 0) and, near w = 0, its
// negation, sorted by cubic cell over (x, y, z). Its arrays are kept by the World between
// passes, so that a pass in a steady state allocates nothing but its result.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "vorn_kernel/lanes.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::Vec4;

// The allocator of the grid's arrays. resize() leaves new elements uninitialised (every array
// is written before it is read), so that it writes nothing and the pages an array's pass does
// not reach (most of the staging room for two entries a body) are never touched. On Linux an
// array of 4 MiB or more is aligned to 2 MiB and advised to use huge pages, so that a first
// pass over tens of MB takes far fewer page faults (the advice may be ignored).
template <class T>
struct GridAllocator : std::allocator<T> {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    using value_type = T;
    template <class U>
    struct rebind {
        using other = GridAllocator<U>;
    };

    GridAllocator() = default;
    template <class U>
    GridAllocator(const GridAllocator<U>& /*other*/) noexcept {}

#if defined(__linux__) && defined(MADV_HUGEPAGE)
    static constexpr std::size_t huge = std::size_t{1} << 21;
    // The bytes allocated with huge-page advice for `count` elements, or 0 for a plain allocation.
    static std::size_t hugeBytes(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        return bytes >= 2 * huge ? (bytes + huge - 1) / huge * huge : 0;
    }
    T* allocate(std::size_t count) {
        const std::size_t bytes = hugeBytes(count);
        if (bytes == 0) return std::allocator<T>::allocate(count);
        void* const p = std::aligned_alloc(huge, bytes);
        if (p == nullptr) throw std::bad_alloc();
        (void)madvise(p, bytes, MADV_HUGEPAGE);
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t count) noexcept {
        if (hugeBytes(count) == 0) {
            std::allocator<T>::deallocate(p, count);
        } else {
            std::free(p);
        }
    }
#endif

    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;  // default-initialisation: no value written
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

template <class T>
using GridVector = std::vector<T, GridAllocator<T>>;

// u, or −u (w with its sign bit set), rounded to float.
struct GridEntry {
    float x, y, z, w;
    std::uint32_t body;
};

// A contact between the bodies in storage slots i < j, keyed i·2^b + j with 2^b above every
// slot (a world holds fewer than 2³² bodies): storage order is id order.
struct SlotPair {
    std::uint64_t key;
    double distance;
};

// The cells from first to last, in increasing order, along one axis.
struct CellSpan {
    std::uint32_t first, last;
};

// Cubic cells of width 2/per_axis over [−1, 1]³. The index of c along an axis is (c + 1)·per_unit
// raised to 0 if negative, truncated and lowered to the last cell: computed in rounded doubles,
// it never decreases as c grows.
struct Cells {
    std::uint32_t per_axis = 1;
    double per_unit = 0.5;  // per_axis / 2
    double half = 0.0;      // the half-width of a query's window

    std::uint32_t axisIndex(double c) const {
        const auto index = static_cast<std::uint32_t>(std::max((c + 1.0) * per_unit, 0.0));
        return index < per_axis ? index : per_axis - 1;
    }
    // The cells that meet the window [c − half, c + half], for c in [−1, 1] and half < 1.
    CellSpan span(double c) const { return {axisIndex(c - half), axisIndex(c + half)}; }
    std::uint32_t of(double x, double y, double z) const {
        return (axisIndex(z) * per_axis + axisIndex(y)) * per_axis + axisIndex(x);
    }
};

struct ContactGrid {
    Cells cells;
    GridVector<GridEntry> staged;         // in body order (room for two entries per body)
    GridVector<std::uint32_t> cell_of;    // the cell of each staged entry
    GridVector<std::uint32_t> starts;     // the entries of cell c: [starts[c], starts[c + 1])
    GridVector<GridEntry> entries;        // in cell order, by body within a cell, then padding
    GridVector<Vec4<double>> positions;   // each entry's position (large grids only)
    std::vector<std::size_t> odd;         // bodies without a usable length
    GridVector<SlotPair> pairs, sorting;  // the pass's contacts, and room to sort them

    // Entries of body 0 at the origin after the last, which never pass the screen.
    static constexpr std::uint32_t padding = 6;
    // Whether a grid of `count` entries is large: then the screen reads the first entries of a
    // run without a branch, and the positions are copied in entry order.
    static bool large(std::size_t count) { return count >= 1024; }
    // Whether a large grid holds at least one entry for every two cells: then the screen reads
    // `padding` entries of a run without a branch.
    bool dense(std::size_t count) const {
        const std::size_t cell_count = std::size_t{cells.per_axis} * cells.per_axis * cells.per_axis;
        return large(count) && 2 * count >= cell_count;
    }

    ContactGrid() = default;
    // A copied World starts with empty arrays: they hold nothing between passes.
    ContactGrid(const ContactGrid& /*other*/) {}
    ContactGrid& operator=(const ContactGrid& /*other*/) { return *this; }
    ContactGrid(ContactGrid&&) noexcept = default;
    ContactGrid& operator=(ContactGrid&&) noexcept = default;
    ~ContactGrid() = default;
};

}  // namespace vorn_world::detail
