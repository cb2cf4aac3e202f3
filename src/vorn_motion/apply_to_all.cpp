// A 4×4 matrix applied to a span of points. Lane r of a four-lane vector holds row r of the
// result and does the scalar apply's operations in its order: +0, then m(r, c)·v_c added for
// c = 0..3. Built for baseline x86-64 and for AVX2; the CPU picks at run time, as for PGL4::mul.
#include <cstring>
#include <stdexcept>

#include "vorn_kernel/cpu_features.hpp"
#include "vorn_kernel/lanes.hpp"
#include "vorn_motion.hpp"

namespace vorn_motion {

namespace {

using vorn_kernel::detail::F64x4;

[[gnu::always_inline]] inline void applyLanes(const double* m, const HomVec4* in, HomVec4* out,
                                              std::size_t n) {
    F64x4 c0, c1, c2, c3;
    std::memcpy(&c0, m, sizeof c0);
    std::memcpy(&c1, m + 4, sizeof c1);
    std::memcpy(&c2, m + 8, sizeof c2);
    std::memcpy(&c3, m + 12, sizeof c3);
    for (std::size_t i = 0; i < n; ++i) {
        const HomVec4 v = in[i];
        F64x4 sum = F64x4{} + c0 * v.x;
        sum = sum + c1 * v.y;
        sum = sum + c2 * v.z;
        sum = sum + c3 * v.w;
        std::memcpy(&out[i], &sum, sizeof sum);
    }
}

void applyBaseline(const double* m, const HomVec4* in, HomVec4* out, std::size_t n) {
    applyLanes(m, in, out, n);
}

[[gnu::target("avx2")]] void applyAvx2(const double* m, const HomVec4* in, HomVec4* out, std::size_t n) {
    applyLanes(m, in, out, n);
}

}  // namespace

static_assert(sizeof(HomVec4) == sizeof(F64x4), "a point fills one four-lane vector");

void applyToAll(const PGL4& m, std::span<const HomVec4> in, std::span<HomVec4> out) {
    if (in.size() != out.size()) throw std::invalid_argument("applyToAll: the spans differ in length");
    if (vorn_kernel::detail::cpuHasAvx2()) {
        applyAvx2(m.data.data(), in.data(), out.data(), in.size());
    } else {
        applyBaseline(m.data.data(), in.data(), out.data(), in.size());
    }
}

}  // namespace vorn_motion
