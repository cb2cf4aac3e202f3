// From S³ to the page: stereographic projection into 3-space, then a fixed view.
#pragma once

#include <optional>

#include <vorn/vorn_kernel.hpp>

namespace orbits {

struct Point3 {
    double x, y, z;
};

struct Point2 {
    double x, y;
};

// Projection from the pole (0, 0, 0, −1) of a unit vector: (x, y, z) / (1 + w). The
// hemisphere w > 0 lands inside the unit ball, the sphere w = 0 on the unit sphere, and
// the pole itself at infinity; points closer to the pole than `pole_margin` (in 1 + w)
// have no image.
std::optional<Point3> stereographic(vorn_kernel::HomVec4 p, double pole_margin = 1e-9);

// An orthographic view: turn by `yaw` about the vertical axis z, tilt by `pitch` toward
// the viewer, then drop depth; the page's y axis points down.
struct View {
    double yaw = 0.0;
    double pitch = 0.0;
    double scale = 1.0;  // page units per unit of 3-space
    double centre_x = 0.0;
    double centre_y = 0.0;

    Point2 toPage(Point3 p) const;
};

}  // namespace orbits
