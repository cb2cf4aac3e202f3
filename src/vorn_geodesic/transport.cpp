// Moving vectors along great circles: parallel transport and the exponential and logarithm
// maps. Comparisons are ordered IEEE comparisons, so NaN input takes the branch whose test fails.
#include <cmath>

#include "vorn_geodesic.hpp"
#include "vorn_math/functions.hpp"

namespace vorn_geodesic {

HomVec4 parallelTransport(HomVec4 p, HomVec4 v, HomVec4 w, double t) {
    const double ct = vorn::elementary::cos(t);
    const double st = vorn::elementary::sin(t);
    const double wp = HomVec4::dot(w, p);
    const double wv = HomVec4::dot(w, v);
    // The part of w in the plane of p and v turns through t; the rest is left as it is.
    const double along_p = (wp * ct) - (wv * st);
    const double along_v = (wp * st) + (wv * ct);
    const double parallel_x = along_p * p.x + along_v * v.x;
    const double parallel_y = along_p * p.y + along_v * v.y;
    const double parallel_z = along_p * p.z + along_v * v.z;
    const double parallel_w = along_p * p.w + along_v * v.w;
    const double perp_x = (w.x - wp * p.x) - wv * v.x;
    const double perp_y = (w.y - wp * p.y) - wv * v.y;
    const double perp_z = (w.z - wp * p.z) - wv * v.z;
    const double perp_w = (w.w - wp * p.w) - wv * v.w;
    return HomVec4::init(parallel_x + perp_x, parallel_y + perp_y, parallel_z + perp_z, parallel_w + perp_w);
}

HomVec4 expMap(HomVec4 p, HomVec4 v) { return geodesicScaled(p, v, 1.0); }

HomVec4 logMap(HomVec4 p, HomVec4 q) {
    const double d = fsDistance(p, q);
    // Covers near-null arguments too, for which the distance is 0.
    if (d < 1e-15) return HomVec4::zero();
    const double cos_d = vorn::elementary::cos(d);
    const double sin_d = vorn::elementary::sin(d);
    if (std::fabs(sin_d) < 1e-15) return HomVec4::zero();
    const double scale = d / sin_d;
    // The distance is sign-blind but the direction is taken from q with its own sign.
    return HomVec4::init(scale * (q.x - cos_d * p.x), scale * (q.y - cos_d * p.y),
                         scale * (q.z - cos_d * p.z), scale * (q.w - cos_d * p.w));
}

}  // namespace vorn_geodesic
