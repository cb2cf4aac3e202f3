// The vocabulary the vector algorithms are written in, for one value (T = double) or for the
// values in the lanes (T = F64x4 or F64x8): Vec4<T>, four components with +, −, ·, / acting
// component by component and a dot product in the fixed order ((x + y) + z) + w; and the
// primitives with a scalar and a lane form (select, less, zeroWhere, squareRoot,
// negateWhereNegative). Lane k of every value belongs to one body or point and does exactly
// its scalar operations in their order, so an algorithm written once over T gives the same
// bits for any T. Included by lanes.hpp; always inlined, as vectors never cross a call.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "vorn_kernel/lanes.hpp"

namespace vorn_kernel::detail {

// Lanes of doubles, of either width; their masks and their bits as unsigned integers.
template <class T>
concept Lanes = std::same_as<T, F64x4> || std::same_as<T, F64x8>;
using U64x4 = std::uint64_t __attribute__((vector_size(32)));
using U64x8 = std::uint64_t __attribute__((vector_size(64)));
template <Lanes T>
using BitsOf = std::conditional_t<std::same_as<T, F64x4>, U64x4, U64x8>;
template <Lanes T>
using MaskOf = std::conditional_t<std::same_as<T, F64x4>, Mask4, Mask8>;

// x in every lane of T (x itself for T = double).
template <class T>
[[gnu::always_inline]] inline T spread(double x) {
    if constexpr (std::same_as<T, double>) {
        return x;
    } else if constexpr (std::same_as<T, F64x4>) {
        return broadcast(x);
    } else {
        return F64x8{x, x, x, x, x, x, x, x};
    }
}

// Four components of one value or of the values in the lanes.
template <class T>
struct Vec4 {
    T x, y, z, w;
};

template <class T>
[[gnu::always_inline]] inline Vec4<T> operator+(const Vec4<T>& a, const Vec4<T>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}
template <class T>
[[gnu::always_inline]] inline Vec4<T> operator-(const Vec4<T>& a, const Vec4<T>& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
}
// Each value's own factor.
template <class T>
[[gnu::always_inline]] inline Vec4<T> operator*(const T& s, const Vec4<T>& a) {
    return {s * a.x, s * a.y, s * a.z, s * a.w};
}
// One factor for every lane.
template <Lanes T>
[[gnu::always_inline]] inline Vec4<T> operator*(double s, const Vec4<T>& a) {
    return {s * a.x, s * a.y, s * a.z, s * a.w};
}
template <class T>
[[gnu::always_inline]] inline Vec4<T> operator/(const Vec4<T>& a, const T& d) {
    return {a.x / d, a.y / d, a.z / d, a.w / d};
}

// ((a.x·b.x + a.y·b.y) + a.z·b.z) + a.w·b.w, the order of HomVec4::dot.
template <class T>
[[gnu::always_inline]] inline T dot(const Vec4<T>& a, const Vec4<T>& b) {
    return ((a.x * b.x + a.y * b.y) + a.z * b.z) + a.w * b.w;
}

template <class T>
[[gnu::always_inline]] inline Vec4<T> zeroVec4() {
    const T zero{};
    return {zero, zero, zero, zero};
}

// Four columns of doubles (x, y, z, w), one value per row: the structure-of-arrays form.
template <class D>
struct ColumnsOf {
    D* x;
    D* y;
    D* z;
    D* w;
    // Columns to write are also columns to read.
    operator ColumnsOf<const D>() const requires(!std::is_const_v<D>) { return {x, y, z, w}; }
};
using Columns = ColumnsOf<double>;
using ConstColumns = ColumnsOf<const double>;

// Rows i, i + 1, ... of the columns, one per lane of T.
template <Lanes T, class D>
[[gnu::always_inline]] inline Vec4<T> loadVec(const ColumnsOf<D>& c, std::size_t i) {
    return {loadLanes<T>(c.x + i), loadLanes<T>(c.y + i), loadLanes<T>(c.z + i), loadLanes<T>(c.w + i)};
}
template <Lanes T>
[[gnu::always_inline]] inline void storeVec(const Columns& c, std::size_t i, const Vec4<T>& v) {
    storeLanes(c.x + i, v.x);
    storeLanes(c.y + i, v.y);
    storeLanes(c.z + i, v.z);
    storeLanes(c.w + i, v.w);
}

// The transpose of the block whose rows are the four vectors: the same exchange turns four
// stored vectors into their components and components back into vectors.
[[gnu::always_inline]] inline Vec4<F64x4> transpose(const F64x4& r0, const F64x4& r1, const F64x4& r2,
                                                    const F64x4& r3) {
    const F64x4 x0x1z0z1 = __builtin_shufflevector(r0, r1, 0, 4, 2, 6);
    const F64x4 y0y1w0w1 = __builtin_shufflevector(r0, r1, 1, 5, 3, 7);
    const F64x4 x2x3z2z3 = __builtin_shufflevector(r2, r3, 0, 4, 2, 6);
    const F64x4 y2y3w2w3 = __builtin_shufflevector(r2, r3, 1, 5, 3, 7);
    return {__builtin_shufflevector(x0x1z0z1, x2x3z2z3, 0, 1, 4, 5),
            __builtin_shufflevector(y0y1w0w1, y2y3w2w3, 0, 1, 4, 5),
            __builtin_shufflevector(x0x1z0z1, x2x3z2z3, 2, 3, 6, 7),
            __builtin_shufflevector(y0y1w0w1, y2y3w2w3, 2, 3, 6, 7)};
}

// In each lane, `where_set` ? `if_set` : `otherwise` (F64x4 and F64x8 in lanes.hpp).
[[gnu::always_inline]] inline double select(bool where_set, double if_set, double otherwise) {
    return where_set ? if_set : otherwise;
}
template <class T, class Mask>
[[gnu::always_inline]] inline Vec4<T> select(const Mask& where_set, const Vec4<T>& if_set,
                                             const Vec4<T>& otherwise) {
    return {select(where_set, if_set.x, otherwise.x), select(where_set, if_set.y, otherwise.y),
            select(where_set, if_set.z, otherwise.z), select(where_set, if_set.w, otherwise.w)};
}

// a < b in each lane. Four lanes compare two at a time: without AVX, g++ makes a four-lane
// comparison four scalar ones.
[[gnu::always_inline]] inline bool less(double a, double b) { return a < b; }
[[gnu::always_inline]] inline Mask4 less(const F64x4& a, const F64x4& b) { return lessInHalves(a, b); }
[[gnu::always_inline]] inline Mask8 less(const F64x8& a, const F64x8& b) { return a < b; }

// +0 where `where` holds, else x (a bit operation in the lanes).
[[gnu::always_inline]] inline double zeroWhere(bool where, double x) { return where ? 0.0 : x; }
template <Lanes T>
[[gnu::always_inline]] inline T zeroWhere(const MaskOf<T>& where, const T& x) {
    return __builtin_bit_cast(T, __builtin_bit_cast(MaskOf<T>, x) & ~where);
}

// −x where value < 0, else x. The lanes use no comparison (one costs shuffles or scalar code in
// some builds): c = value + 0 turns −0 into +0, so the sign bit of c is set exactly where
// value < 0 or value is a NaN with its sign set, and NaNs (magnitude bits above those of
// infinity) are masked out.
[[gnu::always_inline]] inline double negateWhereNegative(double value, double x) {
    return value < 0.0 ? -x : x;
}
template <Lanes T>
[[gnu::always_inline]] inline T negateWhereNegative(const T& value, const T& x) {
    using Bits = BitsOf<T>;
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    constexpr std::uint64_t above_infinity = 0x7ff0000000000001;  // the least NaN magnitude
    const Bits c = __builtin_bit_cast(Bits, value + 0.0);
    const Bits magnitude = c & ~sign;
    const Bits flip = c & (magnitude - above_infinity) & sign;  // sign of c, where magnitude < NaN's
    return __builtin_bit_cast(T, __builtin_bit_cast(Bits, x) ^ flip);
}

// Whether this translation unit is built without errno for math functions (-fno-math-errno).
// A constant of each translation unit's own, so that the square roots below are two functions
// where the builds differ, never one name with two bodies.
#if defined(__NO_MATH_ERRNO__)
constexpr bool without_math_errno = true;
#else
constexpr bool without_math_errno = false;
#endif

// The correctly rounded square root of each lane. Without errno a loop over the lanes that the
// compiler turns into whole-vector square roots; with it, per target, two lanes at a time.
template <Lanes T, bool no_errno = without_math_errno>
[[gnu::always_inline]] inline T squareRoot(const T& x) {
    if constexpr (no_errno) {
        constexpr std::size_t count = lane_count<T>;
        alignas(sizeof(T)) double in[count];
        alignas(sizeof(T)) double out[count];
        __builtin_memcpy(in, &x, sizeof in);
        for (std::size_t k = 0; k < count; ++k) out[k] = __builtin_sqrt(in[k]);
        T roots;
        __builtin_memcpy(&roots, out, sizeof roots);
        return roots;
    } else {
        static_assert(std::same_as<T, F64x4>, "eight lanes are built without errno only");
        return squareRoots(x);
    }
}

// The mask of the moved bodies among the flags (nonzero: moved) of the bodies in the lanes.
template <Lanes T>
[[gnu::always_inline]] inline MaskOf<T> movedMask(const std::uint8_t* moved) {
    const Mask4 low{moved[0] ? -1 : 0, moved[1] ? -1 : 0, moved[2] ? -1 : 0, moved[3] ? -1 : 0};
    if constexpr (std::same_as<T, F64x4>) {
        return low;
    } else {
        const Mask4 high{moved[4] ? -1 : 0, moved[5] ? -1 : 0, moved[6] ? -1 : 0, moved[7] ? -1 : 0};
        return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
    }
}

}  // namespace vorn_kernel::detail
