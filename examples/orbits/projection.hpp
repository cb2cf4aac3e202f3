// From 3-space to the page: a fixed orthographic view of a projection's image.
#pragma once

#include <vorn/vorn_motion.hpp>

namespace orbits {

using vorn_motion::Point3;

struct Point2 {
    double x, y;
};

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
