// Projections of S³ into 3-space for drawing: stereographic, gnomonic and the Hopf map.
// A point whose image would be too far out gets NaN in all three coordinates.
#include <limits>
#include <stdexcept>

#include "vorn_motion.hpp"

namespace vorn_motion {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// (x, y, z) / d, or NaN when d is 0 or the image lies farther than max_radius out (or is NaN).
Point3 dividedWithin(double x, double y, double z, double d, double max_radius) {
    const Point3 image{x / d, y / d, z / d};
    const double r2 = (image.x * image.x + image.y * image.y) + image.z * image.z;
    if (!(r2 <= max_radius * max_radius)) return {nan, nan, nan};
    return image;
}

template <typename Project>
std::size_t projectAll(std::span<const HomVec4> in, std::span<Point3> out, Project project) {
    if (in.size() != out.size()) throw std::invalid_argument("projection: the spans differ in length");
    std::size_t without_image = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        out[i] = project(in[i]);
        if (out[i].x != out[i].x) ++without_image;
    }
    return without_image;
}

}  // namespace

StereographicPole StereographicPole::at(HomVec4 pole, double max_radius) {
    const HomVec4 n = pole.normalize();
    // p ↦ −p·n̄ is an isometry taking n to −1; the frame is the preimage of i, j, k under it.
    return {n, -qmul({1, 0, 0, 0}, n), -qmul({0, 1, 0, 0}, n), -qmul({0, 0, 1, 0}, n), max_radius};
}

Point3 stereographic(HomVec4 p, const StereographicPole& pole) {
    const double d = 1.0 - HomVec4::dot(p, pole.pole);
    if (!(d > 0.0)) return {nan, nan, nan};
    return dividedWithin(HomVec4::dot(p, pole.e1), HomVec4::dot(p, pole.e2), HomVec4::dot(p, pole.e3), d,
                         pole.max_radius);
}

Point3 gnomonic(HomVec4 p, AffineCard chart, double max_radius) {
    switch (chart) {
        case AffineCard::UX:
            return dividedWithin(p.y, p.z, p.w, p.x, max_radius);
        case AffineCard::UY:
            return dividedWithin(p.x, p.z, p.w, p.y, max_radius);
        case AffineCard::UZ:
            return dividedWithin(p.x, p.y, p.w, p.z, max_radius);
        case AffineCard::UW:
            break;
    }
    return dividedWithin(p.x, p.y, p.z, p.w, max_radius);
}

Point3 hopf(HomVec4 p) {
    return {2.0 * (p.x * p.z + p.y * p.w), 2.0 * (p.y * p.z - p.x * p.w),
            (p.x * p.x + p.y * p.y) - (p.z * p.z + p.w * p.w)};
}

std::size_t stereographic(std::span<const HomVec4> in, std::span<Point3> out, const StereographicPole& pole) {
    return projectAll(in, out, [&pole](HomVec4 p) { return stereographic(p, pole); });
}

std::size_t gnomonic(std::span<const HomVec4> in, std::span<Point3> out, AffineCard chart,
                     double max_radius) {
    return projectAll(in, out, [chart, max_radius](HomVec4 p) { return gnomonic(p, chart, max_radius); });
}

void hopf(std::span<const HomVec4> in, std::span<Point3> out) {
    projectAll(in, out, [](HomVec4 p) { return hopf(p); });
}

}  // namespace vorn_motion
