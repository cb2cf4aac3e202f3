#include "consumer_checks.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <memory_resource>

#include "vorn_geodesic.hpp"

namespace consumer {

using vorn_kernel::HomVec4;

bool integratedQuarterTurnMatchesExact() {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const double quarter_turn = 0.7853981633974483;

    std::array<std::byte, 16384> buffer{};
    std::pmr::monotonic_buffer_resource arena(buffer.data(), buffer.size(), std::pmr::null_memory_resource());
    const auto trajectory =
        vorn_geodesic::rk4Integrate(vorn_geodesic::freeGeodesicRhs, 0.0, quarter_turn,
                                    vorn_geodesic::GeodesicState::fromHomVec4(p, v), 100, arena);
    if (trajectory.size() != 101) return false;

    const HomVec4 integrated = trajectory.back().pos();
    const HomVec4 exact = vorn_geodesic::geodesicExact(p, v, quarter_turn);
    const bool close = std::fabs(integrated.x - exact.x) < 1e-10 &&
                       std::fabs(integrated.y - exact.y) < 1e-10 &&
                       std::fabs(integrated.z - exact.z) < 1e-10 && std::fabs(integrated.w - exact.w) < 1e-10;
    arena.deallocate(trajectory.data(), trajectory.size_bytes(), alignof(vorn_geodesic::GeodesicState));
    return close;
}

namespace {

// x·x − x·x is exactly 0 when each product is rounded; a fused multiply-add leaves the
// rounding error of one product instead (2^-60 for x = 1 + 2^-30).
double dotOfOppositeProducts(const volatile double& x_in) {
    const double x = x_in;
    return HomVec4::dot(HomVec4::init(x, x, 0, 0), HomVec4::init(x, -x, 0, 0));
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("fma"), noinline)) double dotOfOppositeProductsWithFma(const volatile double& x_in) {
    const double x = x_in;
    return HomVec4::dot(HomVec4::init(x, x, 0, 0), HomVec4::init(x, -x, 0, 0));
}
#endif

}  // namespace

bool inlineDotKeepsItsRounding() {
    const volatile double x = 1.0 + 0x1p-30;
    if (dotOfOppositeProducts(x) != 0.0) return false;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (__builtin_cpu_supports("fma") && dotOfOppositeProductsWithFma(x) != 0.0) return false;
#endif
    return true;
}

}  // namespace consumer
