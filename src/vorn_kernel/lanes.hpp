// The lane layer: the wide f64 type every vector algorithm of the library is written over, its
// primitives, and the one helper that runs an algorithm in the build this CPU takes.
//
// F64x4 holds four doubles, F64x2 two, and comparing F64x4 values gives a Mask4 (all ones
// where true). F64x8 (eight doubles, Mask8) is for the few algorithms written for any width,
// which take eight lanes in the AVX-512 build only. They are the compiler's generic vectors,
// so +, −, ·, / and comparisons act lane by lane with IEEE rounding: each lane computes
// exactly what the scalar code computes for it, never mixing with another lane. How the
// target runs them:
//   x86-64   two SSE2 instructions per F64x4 operation, or one in the AVX2 build; one per
//            F64x8 operation in the AVX-512 build;
//   aarch64  two NEON instructions;
//   others   (wasm32, anything without a vector unit) plain scalar instructions, lane by lane.
// Only the square root needs code per target (the C library's sqrt may set errno). The
// vocabulary algorithms are written in (Vec4, select, less, ...) is in lane_vectors.hpp.
//
// Vectors never cross a function boundary (a 32-byte vector has another ABI with AVX than
// without): algorithms take and give memory, and vectors live in locals and in helpers that
// are always inlined. The compilers' note on that ABI difference (-Wpsabi) is therefore off
// in every file that includes this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>

#include "vorn_kernel/cpu_features.hpp"
#define VORN_LANES_X86 1
#elif defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>
#define VORN_LANES_NEON 1
#else
#include <cmath>
#endif

namespace vorn_kernel::detail {

using F64x4 = double __attribute__((vector_size(32)));
using F64x2 = double __attribute__((vector_size(16)));
using Mask4 = decltype(F64x4{} < F64x4{});
using F64x8 = double __attribute__((vector_size(64)));
using Mask8 = decltype(F64x8{} < F64x8{});

#pragma GCC diagnostic ignored "-Wpsabi"

// Lanes of any width (F64x4 or F64x8) from and to memory: doubles, or a value made of them.
template <class Lanes>
[[gnu::always_inline]] inline Lanes loadLanes(const void* from) {
    Lanes lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}

template <class Lanes>
[[gnu::always_inline]] inline void storeLanes(void* to, const Lanes& lanes) {
    std::memcpy(to, &lanes, sizeof lanes);
}

// The number of doubles in Lanes.
template <class Lanes>
inline constexpr std::size_t lane_count = sizeof(Lanes) / sizeof(double);

[[gnu::always_inline]] inline F64x4 load4(const double* from) { return loadLanes<F64x4>(from); }
[[gnu::always_inline]] inline void store4(double* to, const F64x4& lanes) { storeLanes(to, lanes); }

// ((l0 + l1) + l2) + l3: a dot product summed in component order from its lane products.
[[gnu::always_inline]] inline double sumInOrder(const F64x4& lanes) {
    return ((lanes[0] + lanes[1]) + lanes[2]) + lanes[3];
}

// x in every lane (for values fixed over a loop: inside one, the baseline x86 build may
// assemble it through memory).
[[gnu::always_inline]] inline F64x4 broadcast(double x) { return F64x4{x, x, x, x}; }

// a < b in each lane, two lanes at a time: without AVX, g++ makes a four-lane comparison four
// scalar ones, while each half is one instruction (in the AVX2 build, two shuffles more).
[[gnu::always_inline]] inline Mask4 lessInHalves(const F64x4& a, const F64x4& b) {
    const F64x2 a_low = __builtin_shufflevector(a, a, 0, 1);
    const F64x2 a_high = __builtin_shufflevector(a, a, 2, 3);
    const F64x2 b_low = __builtin_shufflevector(b, b, 0, 1);
    const F64x2 b_high = __builtin_shufflevector(b, b, 2, 3);
    return __builtin_shufflevector(a_low < b_low, a_high < b_high, 0, 1, 2, 3);
}

// In each lane, `where_set` ? `if_set` : `otherwise`.
[[gnu::always_inline]] inline F64x4 select(const Mask4& where_set, const F64x4& if_set,
                                           const F64x4& otherwise) {
    return __builtin_bit_cast(F64x4, (__builtin_bit_cast(Mask4, if_set) & where_set) |
                                         (__builtin_bit_cast(Mask4, otherwise) & ~where_set));
}
[[gnu::always_inline]] inline F64x8 select(const Mask8& where_set, const F64x8& if_set,
                                           const F64x8& otherwise) {
    return __builtin_bit_cast(F64x8, (__builtin_bit_cast(Mask8, if_set) & where_set) |
                                         (__builtin_bit_cast(Mask8, otherwise) & ~where_set));
}

// Whether any lane of the mask is set.
[[gnu::always_inline]] inline bool anyLane(const Mask4& mask) {
    return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
}

// The correctly rounded square root, without the call that sets errno for a negative
// argument (whose result, NaN, is the same either way).
[[gnu::always_inline]] inline double squareRoot(double x) {
#if defined(VORN_LANES_X86)
    return _mm_cvtsd_f64(_mm_sqrt_sd(_mm_setzero_pd(), _mm_set_sd(x)));
#elif defined(VORN_LANES_NEON)
    return vget_lane_f64(vsqrt_f64(vdup_n_f64(x)), 0);
#else
    return std::sqrt(x);
#endif
}

// The correctly rounded square root of each lane, per target, two lanes at a time.
[[gnu::always_inline]] inline F64x4 squareRoots(const F64x4& x) {
#if defined(VORN_LANES_X86)
    const auto low = __builtin_bit_cast(F64x2, _mm_sqrt_pd(__builtin_bit_cast(__m128d, F64x2{x[0], x[1]})));
    const auto high = __builtin_bit_cast(F64x2, _mm_sqrt_pd(__builtin_bit_cast(__m128d, F64x2{x[2], x[3]})));
    return __builtin_shufflevector(low, high, 0, 1, 2, 3);
#elif defined(VORN_LANES_NEON)
    const float64x2_t low = vsqrtq_f64(float64x2_t{x[0], x[1]});
    const float64x2_t high = vsqrtq_f64(float64x2_t{x[2], x[3]});
    return F64x4{low[0], low[1], high[0], high[1]};
#else
    return F64x4{std::sqrt(x[0]), std::sqrt(x[1]), std::sqrt(x[2]), std::sqrt(x[3])};
#endif
}

// The builds of the vector algorithms: the same source compiled for the baseline of the
// target and, on x86-64, once more for AVX2 and for AVX-512 (F, DQ and VL). All give the
// same bits.
enum class LaneBuild : std::uint8_t { baseline, avx2, avx512 };

// The build four-lane algorithms take on this CPU: AVX2 where it has it (their four lanes
// gain nothing from AVX-512).
inline LaneBuild fastestLaneBuild() {
#if defined(VORN_LANES_X86)
    return cpuHasAvx2() ? LaneBuild::avx2 : LaneBuild::baseline;
#else
    return LaneBuild::baseline;
#endif
}

// The build algorithms written for any width take: AVX-512 where this CPU has it (with eight
// lanes), else the four-lane one.
inline LaneBuild widestLaneBuild() {
#if defined(VORN_LANES_X86)
    if (cpuHasAvx512()) return LaneBuild::avx512;
#endif
    return fastestLaneBuild();
}

// Not inlined into the dispatcher: its frame (aligned for the vectors) would then be paid on
// the AVX2 path too, which otherwise is a plain jump.
template <auto algorithm, typename... Args>
[[gnu::noinline]] decltype(auto) inBaselineBuild(Args&&... args) {
    return algorithm(std::forward<Args>(args)...);
}

#if defined(VORN_LANES_X86)
template <auto algorithm, typename... Args>
[[gnu::target("avx2")]] decltype(auto) inAvx2Build(Args&&... args) {
    return algorithm(std::forward<Args>(args)...);
}

template <auto algorithm, typename... Args>
[[gnu::target("avx512f,avx512dq,avx512vl")]] decltype(auto) inAvx512Build(Args&&... args) {
    return algorithm(std::forward<Args>(args)...);
}
#endif

// Runs `algorithm` (an always-inline function) compiled for `build`; a build the target does
// not have runs the baseline. Ask for AVX2 or AVX-512 only where the CPU has it.
template <auto algorithm, typename... Args>
decltype(auto) runLanes(LaneBuild build, Args&&... args) {
#if defined(VORN_LANES_X86)
    if (build == LaneBuild::avx2) return inAvx2Build<algorithm>(std::forward<Args>(args)...);
    if (build == LaneBuild::avx512) return inAvx512Build<algorithm>(std::forward<Args>(args)...);
#endif
    static_cast<void>(build);
    return inBaselineBuild<algorithm>(std::forward<Args>(args)...);
}

// For an algorithm written for any width: runs `eight_lanes` (its F64x8 instance) in the
// AVX-512 build where `build` is that one, else `four_lanes` (its F64x4 instance) in `build`.
// The eight-lane instance is compiled for AVX-512 only.
template <auto eight_lanes, auto four_lanes, typename... Args>
decltype(auto) runWidestLanes(LaneBuild build, Args&&... args) {
#if defined(VORN_LANES_X86)
    if (build == LaneBuild::avx512) return inAvx512Build<eight_lanes>(std::forward<Args>(args)...);
#endif
    return runLanes<four_lanes>(build, std::forward<Args>(args)...);
}

}  // namespace vorn_kernel::detail

#include "vorn_kernel/lane_vectors.hpp"  // IWYU pragma: export
