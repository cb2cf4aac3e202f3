// The softened law's potential in double-double arithmetic (potential.hpp).
#include "vorn_world/potential.hpp"

#include <cmath>
#include <limits>

namespace vorn_world::detail {

Softening softeningOf(double epsilon) {
    const DD one_plus = exactSum(1.0, epsilon);
    const DD eps{epsilon, 0.0};
    return {epsilon, squareRoot(eps / one_plus), one_plus, squareRoot(eps * one_plus)};
}

DD potential(HomVec4 p, HomVec4 s, const DD& gm, const Softening& softening) {
    const double pc[4] = {p.x, p.y, p.z, p.w};
    const double sc[4] = {s.x, s.y, s.z, s.w};
    DD along{};
    for (int i = 0; i < 4; ++i) along = along + exactProduct(pc[i], sc[i]);
    DD wedge_sq{};
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            const DD component = exactProduct(pc[i], sc[j]) - exactProduct(pc[j], sc[i]);
            wedge_sq = wedge_sq + component * component;
        }
    }
    const DD cos_part = along.hi < 0.0 ? -along : along;  // the representative on p's side
    const DD sin_part = squareRoot(wedge_sq);
    if (sin_part.hi == 0.0) {
        if (softening.epsilon == 0.0) return {-std::numeric_limits<double>::infinity(), 0.0};
        const DD half_pi{1.5707963267948966, 6.123233995736766e-17};
        return -(gm * (half_pi / softening.depth_root));
    }
    const DD cot = cos_part / sin_part;
    if (softening.epsilon == 0.0) return -(gm * cot);
    const DD x = softening.ratio_root * cot;
    if (x.hi <= 0.125) return -(gm * (cot * atanOverX(x)) / softening.one_plus);
    return -(gm * (arcTangent(x) / softening.depth_root));
}

}  // namespace vorn_world::detail
