// Four bodies of a block in the lanes: lane k of every vector belongs to body k of the block
// and does exactly that body's scalar operations in their order; nothing is summed across
// lanes. The world's own helpers over the kernel's lane layer, always inlined (vectors never
// cross a function boundary).
#pragma once

#include <cstddef>
#include <cstdint>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::F64x4;
using vorn_kernel::detail::Mask4;

// A vector of four components: of one body (T = double) or of the four of a block (T = F64x4).
template <class T>
struct V4 {
    T x, y, z, w;
};
using Vec = V4<F64x4>;

[[gnu::always_inline]] inline Vec loadVec(const Columns& c, std::size_t i) {
    using vorn_kernel::detail::load4;
    return {load4(c.x + i), load4(c.y + i), load4(c.z + i), load4(c.w + i)};
}

[[gnu::always_inline]] inline void storeVec(const Columns& c, std::size_t i, const Vec& v) {
    using vorn_kernel::detail::store4;
    store4(c.x + i, v.x);
    store4(c.y + i, v.y);
    store4(c.z + i, v.z);
    store4(c.w + i, v.w);
}

// ((a.x·b.x + a.y·b.y) + a.z·b.z) + a.w·b.w, the order of HomVec4::dot.
template <class T>
[[gnu::always_inline]] inline T dot(const V4<T>& a, const V4<T>& b) {
    return ((a.x * b.x + a.y * b.y) + a.z * b.z) + a.w * b.w;
}

// In each lane, `where_set` ? `if_set` : `otherwise`, for all four components.
[[gnu::always_inline]] inline Vec selectVec(const Mask4& where_set, const Vec& if_set, const Vec& otherwise) {
    using vorn_kernel::detail::select;
    return {select(where_set, if_set.x, otherwise.x), select(where_set, if_set.y, otherwise.y),
            select(where_set, if_set.z, otherwise.z), select(where_set, if_set.w, otherwise.w)};
}

// The mask of the moved bodies among the four flags of a block.
[[gnu::always_inline]] inline Mask4 movedMask(const std::uint8_t* moved) {
    return Mask4{moved[0] ? -1 : 0, moved[1] ? -1 : 0, moved[2] ? -1 : 0, moved[3] ? -1 : 0};
}

}  // namespace vorn_world::detail
