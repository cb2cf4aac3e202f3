#include <array>
#include <cstdint>

#include "bit_line.hpp"
#include "ops.hpp"

namespace vorn::bitexact {

void printHugeInputOps(const Battery& b, std::string& out) {
    BitLine line(out);
    const std::array<HomVec4, 2> partners = {HomVec4::init(opaque(1), 1, 0, 0),
                                             HomVec4::init(opaque(0.6), 0, 0, 0.8)};
    for (std::size_t i = 0; i < b.huge_vectors.size(); ++i) {
        const HomVec4 v = b.huge_vectors[i];
        line.start("huge.norm", i).f64(v.norm()).end();
        line.start("huge.normalize", i).vec(v.normalize()).end();
        const std::array<double, 3> c = v.cartesian3();
        line.start("huge.cartesian3", i).f64(c[0]).f64(c[1]).f64(c[2]).end();
        line.start("huge.VornBody::init", i).body(vorn_physics::VornBody::init(v, v, 1.0)).end();
        line.start("huge.expMap", i).vec(vorn_geodesic::expMap(partners[1], v)).end();
        const HomVec4 next = b.huge_vectors[(i + 1) % b.huge_vectors.size()];
        for (const HomVec4 other : {partners[0], partners[1], next, v}) {
            line.start("huge.fsDistance", i).vec(other).f64(vorn_kernel::fsDistance(v, other)).end();
            line.start("huge.isSamePoint", i).vec(other).flag(v.isSamePoint(other, opaque(1e-8))).end();
            line.start("huge.logMap", i).vec(other).vec(vorn_geodesic::logMap(other, v)).end();
        }
    }
    for (std::size_t i = 0; i < b.huge_lanes.size(); ++i) {
        line.start("huge.simdNormalize3", i).lanes(vorn_kernel::simdNormalize3(b.huge_lanes[i])).end();
    }
    for (std::size_t i = 0; i < b.huge_matrices.size(); ++i) {
        const vorn_kernel::PGL4& m = b.huge_matrices[i];
        line.start("huge.det", i).f64(m.det()).end();
        line.start("huge.normalizeDet", i).mat(m.normalizeDet()).end();
        line.start("huge.inverse", i).mat(m.inverse(opaque(0.0), 50)).end();
    }
}

}  // namespace vorn::bitexact
