#include <array>
#include <cstdint>

#include "bit_line.hpp"
#include "ops.hpp"

namespace vorn::bitexact {

namespace {

using vorn_kernel::F32x4;

F32x4 lanesOf(HomVec4 v) {
    return vorn_kernel::f32x4(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z),
                              static_cast<float>(v.w));
}

void printVectorOps(const Battery& b, BitLine& line) {
    for (std::size_t i = 0; i < b.vectors.size(); ++i) {
        const HomVec4 v = b.vectors[i];
        line.start("norm", i).f64(v.norm()).end();
        line.start("normalize", i).vec(v.normalize()).end();
        const std::array<double, 3> c = v.cartesian3();
        line.start("cartesian3", i).f64(c[0]).f64(c[1]).f64(c[2]).end();
        line.start("pickBestCard", i).u64(static_cast<std::uint64_t>(v.pickBestCard())).end();
        line.start("simdNormalize3", i).lanes(vorn_kernel::simdNormalize3(lanesOf(v))).end();
    }
    line.start("zero", 0).vec(HomVec4::zero()).end();
    for (std::size_t i = 0; i < b.pairs.size(); ++i) {
        const auto& [a, c] = b.pairs[i];
        line.start("dot", i).f64(HomVec4::dot(a, c)).end();
        line.start("fsDistance", i).f64(vorn_kernel::fsDistance(a, c)).end();
        line.start("simdDot4", i).f32(vorn_kernel::simdDot4(lanesOf(a), lanesOf(c))).end();
        for (const double tol : {0.0, 1e-15, 1e-8, 0.5}) {
            const double t = opaque(tol);
            line.start("isSamePoint", i).f64(t).flag(a.isSamePoint(c, t)).end();
            line.start("isAntipodalTo", i).f64(t).flag(a.isAntipodalTo(c, t)).end();
        }
    }
}

void printScalarOps(const Battery& b, BitLine& line) {
    constexpr std::array<double, 6> radii = {1.0, 5838400.0, 6371000.0, 0.0, -1.0, 0.5};
    for (std::size_t i = 0; i < b.scalars.size(); ++i) {
        const double s = b.scalars[i];
        line.start("cordicInvSqrt", i).f64(vorn_kernel::cordicInvSqrt(s)).end();
        for (const double radius : radii) {
            const double r = opaque(radius);
            line.start("wFromDistance", i).f64(r).f64(vorn_kernel::wFromDistance(s, r)).end();
            line.start("sFromW", i).f64(r).f64(vorn_kernel::sFromW(s, r)).end();
        }
        line.start("pglRotateZ", i).mat(vorn_kernel::pglRotateZ(s)).end();
    }
    for (std::size_t i = 0; i + 2 < b.scalars.size(); i += 3) {
        const double x = b.scalars[i];
        const double y = b.scalars[i + 1];
        const double z = b.scalars[i + 2];
        line.start("fromCartesian", i).vec(HomVec4::fromCartesian(x, y, z)).end();
        line.start("pglTranslate", i).mat(vorn_kernel::pglTranslate(x, y, z)).end();
        line.start("pglScale", i).mat(vorn_kernel::pglScale(x, y, z)).end();
    }
}

void printMatrixOps(const Battery& b, BitLine& line) {
    for (std::size_t i = 0; i < b.matrices.size(); ++i) {
        const vorn_kernel::PGL4& m = b.matrices[i];
        line.start("transpose", i).mat(m.transpose()).end();
        line.start("det", i).f64(m.det()).end();
        line.start("normalizeDet", i).mat(m.normalizeDet()).end();
        line.start("computeResonance", i).mat(vorn_kernel::computeResonance(m)).end();
        for (const double delta : {0.0, 1e-10, 1e-8, 1.0}) {
            const double d = opaque(delta);
            for (const std::uint32_t max_iter : {0u, 1u, 8u, 50u}) {
                line.start("inverse", i).f64(d).u64(max_iter).mat(m.inverse(d, max_iter)).end();
            }
            line.start("computeProjector", i).f64(d).mat(vorn_kernel::computeProjector(m, d)).end();
        }
        for (std::size_t k = 0; k < b.vectors.size(); k += 13) {
            line.start("apply", i).u64(k).vec(m.apply(b.vectors[k])).end();
        }
        for (std::size_t k = 0; k < b.matrices.size(); k += 9) {
            const vorn_kernel::PGL4& other = b.matrices[k];
            line.start("mul", i).u64(k).mat(vorn_kernel::PGL4::mul(m, other)).end();
            for (const double epsilon : {0.0, -0.25}) {
                const double e = opaque(epsilon);
                line.start("deformedTensorProduct", i).u64(k).f64(e);
                line.mat(vorn_kernel::deformedTensorProduct(m, other, e)).end();
            }
        }
    }
    // Built while the program is compiled: the constant evaluator's arithmetic must agree
    // with the run-time arithmetic of the same order of operations.
    constexpr vorn_kernel::PGL4 diagonal =
        vorn_kernel::pglFromHomogeneous({{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 5}});
    constexpr vorn_kernel::PGL4 general = vorn_kernel::pglFromHomogeneous(
        {{0.1, 0.2, 0.3, 0.4}, {-1, 3, 0.7, 2}, {5, 0.3, -2, 1}, {1e-3, 7, 1, 9}});
    constexpr double general_det = general.det();
    line.start("pglFromHomogeneous", 0).mat(diagonal).f64(diagonal.det()).end();
    vorn_kernel::PGL4 at_run_time = general;
    for (double& entry : at_run_time.data) entry = opaque(entry);
    line.start("pglFromHomogeneous", 1).mat(general).f64(general_det).f64(at_run_time.det()).end();
}

}  // namespace

void printKernelOps(const Battery& battery, std::string& out) {
    BitLine line(out);
    printVectorOps(battery, line);
    printScalarOps(battery, line);
    printMatrixOps(battery, line);
}

}  // namespace vorn::bitexact
