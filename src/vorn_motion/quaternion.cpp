// Rotations of S³ as pairs of unit quaternions, to and from matrices.
#include <cmath>
#include <cstddef>

#include "vorn_motion.hpp"

namespace vorn_motion {

PGL4 Rotation::toPGL4() const {
    // Column c is the image of the c-th unit vector.
    PGL4 m{};
    const HomVec4 basis[4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (std::size_t c = 0; c < 4; ++c) {
        const HomVec4 image = apply(basis[c]);
        m.set(0, c, image.x);
        m.set(1, c, image.y);
        m.set(2, c, image.z);
        m.set(3, c, image.w);
    }
    return m;
}

Rotation compose(const Rotation& a, const Rotation& b) { return {qmul(a.l, b.l), qmul(a.r, b.r)}; }

bool isRotation(const PGL4& m, double tolerance) {
    const PGL4 gram = PGL4::mul(m.transpose(), m);
    const PGL4 identity = PGL4::identity();
    for (std::size_t i = 0; i < 16; ++i) {
        if (!(std::fabs(gram.data[i] - identity.data[i]) <= tolerance)) return false;
    }
    return m.det() > 0.0;
}

namespace {

HomVec4 column(const PGL4& m, std::size_t c) { return {m.get(0, c), m.get(1, c), m.get(2, c), m.get(3, c)}; }

// The unit quaternion q with v ↦ q·v·q̄ equal to the 3×3 rotation R (rows and columns x, y, z),
// taken from the largest of its four squared components so that no division is by a small number.
HomVec4 quaternionOf3x3(const double (&R)[3][3]) {
    const double trace = (R[0][0] + R[1][1]) + R[2][2];
    if (trace >= R[0][0] && trace >= R[1][1] && trace >= R[2][2]) {
        const double w4 = 2.0 * std::sqrt(1.0 + trace);
        return {(R[2][1] - R[1][2]) / w4, (R[0][2] - R[2][0]) / w4, (R[1][0] - R[0][1]) / w4, w4 / 4.0};
    }
    if (R[0][0] >= R[1][1] && R[0][0] >= R[2][2]) {
        const double x4 = 2.0 * std::sqrt(((1.0 + R[0][0]) - R[1][1]) - R[2][2]);
        return {x4 / 4.0, (R[0][1] + R[1][0]) / x4, (R[0][2] + R[2][0]) / x4, (R[2][1] - R[1][2]) / x4};
    }
    if (R[1][1] >= R[2][2]) {
        const double y4 = 2.0 * std::sqrt(((1.0 + R[1][1]) - R[0][0]) - R[2][2]);
        return {(R[0][1] + R[1][0]) / y4, y4 / 4.0, (R[1][2] + R[2][1]) / y4, (R[0][2] - R[2][0]) / y4};
    }
    const double z4 = 2.0 * std::sqrt(((1.0 + R[2][2]) - R[0][0]) - R[1][1]);
    return {(R[0][2] + R[2][0]) / z4, (R[1][2] + R[2][1]) / z4, z4 / 4.0, (R[1][0] - R[0][1]) / z4};
}

}  // namespace

std::optional<Rotation> rotationFromPGL4(const PGL4& m, double tolerance) {
    if (!isRotation(m, tolerance)) return std::nullopt;
    // q = m(1) = l·r̄, and m(v)·q̄ = l·v·l̄ is the rotation of the imaginary axes by l.
    const HomVec4 q = column(m, 3);
    double R[3][3];
    for (std::size_t c = 0; c < 3; ++c) {
        const HomVec4 image = qmul(column(m, c), qconj(q));
        R[0][c] = image.x;
        R[1][c] = image.y;
        R[2][c] = image.z;
    }
    const HomVec4 l = quaternionOf3x3(R).normalize();
    // l·r̄ = q gives r = q̄·l.
    return Rotation{l, qmul(qconj(q), l).normalize()};
}

}  // namespace vorn_motion
