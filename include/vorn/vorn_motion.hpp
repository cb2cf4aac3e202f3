// Moving and seeing on S³: points as unit quaternions, rotations of S³ as pairs of them,
// a batch apply for 4×4 matrices, an inverse that reports how it went, and projections of
// S³ to 3-space for drawing.
//
// Quaternion convention: HomVec4 (x, y, z, w) is the quaternion w + x·i + y·j + z·k, so w is
// the real part and the pole (0, 0, 0, 1) is the quaternion 1. Every rotation of S³ (every
// orthogonal 4×4 matrix of determinant +1) is p ↦ l·p·r̄ for a pair of unit quaternions (l, r),
// unique up to the sign of both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "vorn_kernel.hpp"

namespace vorn_motion {

using vorn_kernel::AffineCard;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

// The quaternion product a·b and the conjugate (−x, −y, −z, w). Inline, like PGL4::apply: the
// library's bits need a build without contraction (docs/kernel.md).
inline HomVec4 qmul(HomVec4 a, HomVec4 b) {
    return {
        ((a.w * b.x + a.x * b.w) + a.y * b.z) - a.z * b.y, ((a.w * b.y - a.x * b.z) + a.y * b.w) + a.z * b.x,
        ((a.w * b.z + a.x * b.y) - a.y * b.x) + a.z * b.w, ((a.w * b.w - a.x * b.x) - a.y * b.y) - a.z * b.z};
}
constexpr HomVec4 qconj(HomVec4 a) { return {-a.x, -a.y, -a.z, a.w}; }

// The rotation p ↦ l·p·r̄ of S³, for unit quaternions l and r.
struct Rotation {
    HomVec4 l;
    HomVec4 r;

    static constexpr Rotation identity() { return {{0.0, 0.0, 0.0, 1.0}, {0.0, 0.0, 0.0, 1.0}}; }

    // The map is linear, so points and tangent vectors move alike.
    HomVec4 apply(HomVec4 p) const { return qmul(qmul(l, p), qconj(r)); }
    HomVec4 applyToTangent(HomVec4 v) const { return apply(v); }
    // Exact: the conjugates (l̄, r̄), no iteration and no rounding.
    constexpr Rotation inverse() const { return {qconj(l), qconj(r)}; }
    // The orthogonal matrix of the same map; its transpose is its exact inverse.
    PGL4 toPGL4() const;
};

// a after b: p ↦ a(b(p)), that is (a.l·b.l, a.r·b.r).
Rotation compose(const Rotation& a, const Rotation& b);

// Whether every entry of mᵀ·m is within `tolerance` of the identity's and det m > 0: m is a
// rotation of S³ (a scaled rotation is the same projective map but is not accepted here).
bool isRotation(const PGL4& m, double tolerance = 1e-12);
// The pair (l, r) of a rotation matrix, or nothing when isRotation(m, tolerance) fails.
std::optional<Rotation> rotationFromPGL4(const PGL4& m, double tolerance = 1e-12);

// The six coordinate planes. planeRotation(XY, angle) turns x toward y by `angle` and leaves
// z and w alone: the same map as vorn_kernel::pglRotateZ(angle). Likewise for the others, the
// first axis turning toward the second.
enum class Plane : std::uint8_t { XY, XZ, XW, YZ, YW, ZW };
Rotation planeRotation(Plane plane, double angle);

// p ↦ q·p and p ↦ p·q: every point moves by the same angle (isoclinic rotations). q is
// normalised first; a zero q gives the identity.
Rotation leftIsoclinic(HomVec4 q);
Rotation rightIsoclinic(HomVec4 q);

// The rotation in the plane of a and b (normalised first) that takes a to b along their
// shorter great circle and fixes every point orthogonal to both. Nothing when a or b is zero
// or not finite, or when they are antipodal (‖a/|a| + b/|b|‖ < 1e-12: no unique plane).
std::optional<Rotation> rotationTaking(HomVec4 a, HomVec4 b);

// The point at fraction t of the shorter great-circle arc from unit a to unit b: exactly
// vorn_geodesic::geodesicExact(a, u, t·Ω) with Ω the angle between them and u the unit tangent
// at a toward b. For b = a it is a; for b = −a, where every great circle is shortest, the
// circle leaves a along vorn_geodesic::orthogonalVelocity(a).
HomVec4 slerp(HomVec4 a, HomVec4 b, double t);

// out[i] = m.apply(in[i]) bit for bit, for every i. `out` may be `in` itself but must not
// overlap it otherwise. Spans of different lengths throw std::invalid_argument and write
// nothing; that exception is the only allocation.
void applyToAll(const PGL4& m, std::span<const HomVec4> in, std::span<HomVec4> out);

// PGL4::inverse (the matrix returned is the same, bit for bit) with how the iteration went.
struct InverseReport {
    PGL4 inverse;              // approximates (m + delta·I)⁻¹
    std::uint32_t iterations;  // refinement steps run, at most max_iter
    double residual;           // largest |entry of (m + delta·I)·inverse − I|; NaN if any is
    bool converged;            // residual < 1e-12, the iteration's own stopping test
};
InverseReport inverseWithReport(const PGL4& m, double delta, std::uint32_t max_iter);

// A point of 3-space, the image of a projection. All three coordinates are NaN where the
// projection gives no usable image (see each projection), never a huge finite value.
struct Point3 {
    double x, y, z;
};

// Stereographic projection from `pole` onto the 3-space through the origin orthogonal to it:
// p ↦ (⟨p, e1⟩, ⟨p, e2⟩, ⟨p, e3⟩) / (1 − ⟨p, pole⟩), where e1, e2, e3 = −i·pole, −j·pole,
// −k·pole. The antipode of the pole goes to the origin, the pole itself to infinity: points
// whose image would lie farther than max_radius from the origin (or at the pole) get NaN.
// From the pole (0, 0, 0, −1) the frame is x, y, z and the image is (x, y, z) / (1 + w).
struct StereographicPole {
    HomVec4 pole, e1, e2, e3;
    double max_radius;

    // `pole` is normalised; a zero pole gives (0, 0, 0, 1).
    static StereographicPole at(HomVec4 pole, double max_radius);
};
Point3 stereographic(HomVec4 p, const StereographicPole& pole);

// Gnomonic (central) projection through an affine chart: the other three coordinates, in
// order, divided by the chart's (x, y, z over w for UW; y, z, w over x for UX; x, z, w over y
// for UY; x, y, w over z for UZ). Antipodal points share an image. The singular set is the
// great sphere where the chart's coordinate is 0: images farther than max_radius from the
// origin get NaN. Pass centre.pickBestCard() for a view around `centre`.
Point3 gnomonic(HomVec4 p, AffineCard chart, double max_radius);

// The Hopf map to the unit 2-sphere: with z1 = x + i·y and z2 = z + i·w,
// (2·Re z1·z̄2, 2·Im z1·z̄2, |z1|² − |z2|²). Smooth everywhere, no singular set, so no NaN from
// finite input; its fibres are the great circles {(e^{iφ}z1, e^{iφ}z2)}. Off S³ the image is
// scaled by |p|² (the zero vector goes to the origin).
Point3 hopf(HomVec4 p);

// Batch forms: out[i] is the scalar projection of in[i]. They return how many points got
// NaN. Spans of different lengths throw std::invalid_argument and write nothing.
std::size_t stereographic(std::span<const HomVec4> in, std::span<Point3> out, const StereographicPole& pole);
std::size_t gnomonic(std::span<const HomVec4> in, std::span<Point3> out, AffineCard chart, double max_radius);
void hopf(std::span<const HomVec4> in, std::span<Point3> out);

}  // namespace vorn_motion
