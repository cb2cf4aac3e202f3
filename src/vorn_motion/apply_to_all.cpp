// A 4×4 matrix applied to a span of points. Lane r of a four-lane vector holds row r of the
// result and does the scalar apply's operations in its order: +0, then m(r, c)·v_c added for
// c = 0..3. Run in the widest lane build the CPU has, as PGL4::mul is.
#include <stdexcept>

#include "vorn_kernel/lanes.hpp"
#include "vorn_motion.hpp"

namespace vorn_motion {

namespace {

using vorn_kernel::detail::F64x4;

[[gnu::always_inline]] inline void applyLanes(const double* m, const HomVec4* in, HomVec4* out,
                                              std::size_t n) {
    using vorn_kernel::detail::load4;
    const F64x4 c0 = load4(m);
    const F64x4 c1 = load4(m + 4);
    const F64x4 c2 = load4(m + 8);
    const F64x4 c3 = load4(m + 12);
    for (std::size_t i = 0; i < n; ++i) {
        const HomVec4 v = in[i];
        F64x4 sum = F64x4{} + c0 * v.x;
        sum = sum + c1 * v.y;
        sum = sum + c2 * v.z;
        sum = sum + c3 * v.w;
        vorn_kernel::detail::store4(&out[i].x, sum);
    }
}

}  // namespace

static_assert(sizeof(HomVec4) == sizeof(F64x4), "a point fills one four-lane vector");

void applyToAll(const PGL4& m, std::span<const HomVec4> in, std::span<HomVec4> out) {
    if (in.size() != out.size()) throw std::invalid_argument("applyToAll: the spans differ in length");
    vorn_kernel::detail::runLanes<&applyLanes>(vorn_kernel::detail::fastestLaneBuild(), m.data.data(),
                                               in.data(), out.data(), in.size());
}

}  // namespace vorn_motion
