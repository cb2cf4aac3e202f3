#include "projection.hpp"

#include <cmath>

namespace orbits {

Point2 View::toPage(Point3 p) const {
    const double cy = std::cos(yaw), sy = std::sin(yaw);
    const double cp = std::cos(pitch), sp = std::sin(pitch);
    // Yaw about z; afterwards x runs across the page and y into it.
    const double x1 = cy * p.x - sy * p.y;
    const double y1 = sy * p.x + cy * p.y;
    // Pitch about the page's horizontal axis: the vertical on the page mixes z and depth.
    const double up = cp * p.z + sp * y1;
    return Point2{centre_x + scale * x1, centre_y - scale * up};
}

}  // namespace orbits
