// Bodies of a block in the lanes: lane k of every vector belongs to body k of the block and
// does exactly that body's scalar operations in their order; nothing is summed across lanes.
// A block is four bodies (F64x4); the gravity pass also takes eight at a time (F64x8) in the
// AVX-512 build. The world's own helpers over the kernel's lane layer, always inlined (vectors
// never cross a function boundary).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::F64x4;
using vorn_kernel::detail::F64x8;
using vorn_kernel::detail::Mask4;
using vorn_kernel::detail::Mask8;

// Lanes of doubles, of either width.
template <class T>
concept Lanes = std::is_same_v<T, F64x4> || std::is_same_v<T, F64x8>;

// A vector of four components: of one body (T = double) or of the bodies in the lanes.
template <class T>
struct V4 {
    T x, y, z, w;
};
using Vec = V4<F64x4>;

template <Lanes T = F64x4>
[[gnu::always_inline]] inline V4<T> loadVec(const Columns& c, std::size_t i) {
    using vorn_kernel::detail::loadLanes;
    return {loadLanes<T>(c.x + i), loadLanes<T>(c.y + i), loadLanes<T>(c.z + i), loadLanes<T>(c.w + i)};
}

template <Lanes T>
[[gnu::always_inline]] inline void storeVec(const Columns& c, std::size_t i, const V4<T>& v) {
    using vorn_kernel::detail::storeLanes;
    storeLanes(c.x + i, v.x);
    storeLanes(c.y + i, v.y);
    storeLanes(c.z + i, v.z);
    storeLanes(c.w + i, v.w);
}

// ((a.x·b.x + a.y·b.y) + a.z·b.z) + a.w·b.w, the order of HomVec4::dot.
template <class T>
[[gnu::always_inline]] inline T dot(const V4<T>& a, const V4<T>& b) {
    return ((a.x * b.x + a.y * b.y) + a.z * b.z) + a.w * b.w;
}

// In each lane, `where_set` ? `if_set` : `otherwise`, for all four components.
template <Lanes T, class Mask>
[[gnu::always_inline]] inline V4<T> selectVec(const Mask& where_set, const V4<T>& if_set,
                                              const V4<T>& otherwise) {
    using vorn_kernel::detail::select;
    return {select(where_set, if_set.x, otherwise.x), select(where_set, if_set.y, otherwise.y),
            select(where_set, if_set.z, otherwise.z), select(where_set, if_set.w, otherwise.w)};
}

// The mask of the moved bodies among the flags of the bodies in the lanes.
template <Lanes T = F64x4>
[[gnu::always_inline]] inline auto movedMask(const std::uint8_t* moved) {
    const Mask4 low{moved[0] ? -1 : 0, moved[1] ? -1 : 0, moved[2] ? -1 : 0, moved[3] ? -1 : 0};
    if constexpr (std::is_same_v<T, F64x4>) {
        return low;
    } else {
        const Mask4 high{moved[4] ? -1 : 0, moved[5] ? -1 : 0, moved[6] ? -1 : 0, moved[7] ? -1 : 0};
        return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
    }
}

}  // namespace vorn_world::detail
