// Projective kernel: homogeneous vectors on S³, the Fubini–Study distance, four-lane f32
// routines, 4×4 projective matrices with a Newton–Schulz inverse and an operator algebra.
//
// Results are reproducible bit for bit: every function follows a fixed order of operations.
// Compile code that includes this header without floating-point contraction
// (-ffp-contract=off) so the inline functions below keep that order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <type_traits>

namespace vorn_kernel {

inline constexpr double W_EPS = 1e-6;
inline constexpr double R_ORSELA_KM = 5838.4;

enum class AffineCard : std::uint8_t { UW = 0, UX = 1, UY = 2, UZ = 3 };

struct HomVec4 {
    double x, y, z, w;

    static constexpr HomVec4 init(double x, double y, double z, double w) { return {x, y, z, w}; }
    static constexpr HomVec4 fromCartesian(double x, double y, double z) { return {x, y, z, 1.0}; }
    static constexpr HomVec4 zero() { return {0.0, 0.0, 0.0, 0.0}; }
    static constexpr double dot(HomVec4 a, HomVec4 b) {
        return ((a.x * b.x + a.y * b.y) + a.z * b.z) + a.w * b.w;
    }

    double norm() const;
    HomVec4 normalize() const;
    std::array<double, 3> cartesian3() const;
    bool isSamePoint(HomVec4 b, double tol) const;
    bool isAntipodalTo(HomVec4 b, double tol) const;
    AffineCard pickBestCard() const;
};

double fsDistance(HomVec4 a, HomVec4 b);
double wFromDistance(double s_meters, double R_meters);
double sFromW(double W, double R_meters);

// Four f32 lanes in one 128-bit vector (GCC/Clang vector extension); lane i is v[i].
using F32x4 = float __attribute__((vector_size(16)));

constexpr F32x4 f32x4(float x, float y, float z, float w) { return F32x4{x, y, z, w}; }

// Lane products together, then the sum in the fixed order ((m0 + m1) + m2) + m3.
inline float simdDot4(F32x4 a, F32x4 b) {
    const F32x4 m = a * b;
    return ((m[0] + m[1]) + m[2]) + m[3];
}

F32x4 simdNormalize3(F32x4 v);
// About 1/√x (relative error near 1e-11) without a square root or a division.
// +0 for x ≤ 0 and for +∞; a NaN comes back unchanged.
double cordicInvSqrt(double x);

struct PGL4 {
    std::array<double, 16> data;  // column-major: data[4*col + row]

    static constexpr PGL4 init(const std::array<double, 16>& data) { return PGL4{data}; }
    static constexpr PGL4 identity() {
        return PGL4{{1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0}};
    }
    static constexpr PGL4 fromRowMajor(const double (&m)[4][4]) {
        PGL4 result{};
        for (std::size_t row = 0; row < 4; ++row) {
            for (std::size_t col = 0; col < 4; ++col) {
                result.data[4 * col + row] = m[row][col];
            }
        }
        return result;
    }
    constexpr double get(std::size_t row, std::size_t col) const { return data[4 * col + row]; }
    constexpr void set(std::size_t row, std::size_t col, double val) { data[4 * col + row] = val; }

    HomVec4 apply(HomVec4 v) const;
    static PGL4 mul(const PGL4& a, const PGL4& b);
    PGL4 transpose() const;
    constexpr double det() const;
    PGL4 normalizeDet() const;
    PGL4 inverse(double delta, std::uint32_t max_iter) const;
};

namespace detail {

// The unsigned 3×3 minor left after deleting row r and column c; det supplies the signs.
// The name is parenthesised so that a `minor` macro from <sys/sysmacros.h> cannot expand it.
constexpr double(minor)(const PGL4& m, std::size_t r, std::size_t c) {
    double s[3][3]{};
    std::size_t si = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i == r) continue;
        std::size_t sj = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            if (j == c) continue;
            s[si][sj] = m.get(i, j);
            ++sj;
        }
        ++si;
    }
    return (s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) -
            s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0])) +
           s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
}

}  // namespace detail

namespace detail {

// det at run time, two minors per vector (lane c holds the minor that deletes column c), each
// lane doing the scalar formula's operations in its order. Each minor's three 2×2 differences
// come from rows 2 and 3, and the four minors use only six distinct ones: those are formed
// once, with the same operands and operations as inside every minor that uses them.
inline double detLanes(const PGL4& m) {
    using Pair = double __attribute__((vector_size(16)));
    const auto at = [&m](std::size_t row, std::size_t col) { return m.data[4 * col + row]; };
    // d(i, j) = at(2, i)·at(3, j) − at(2, j)·at(3, i), two at a time.
    const Pair d23_d13 = Pair{at(2, 2), at(2, 1)} * Pair{at(3, 3), at(3, 3)} -
                         Pair{at(2, 3), at(2, 3)} * Pair{at(3, 2), at(3, 1)};
    const Pair d12_d03 = Pair{at(2, 1), at(2, 0)} * Pair{at(3, 2), at(3, 3)} -
                         Pair{at(2, 2), at(2, 3)} * Pair{at(3, 1), at(3, 0)};
    const Pair d02_d01 = Pair{at(2, 0), at(2, 0)} * Pair{at(3, 2), at(3, 1)} -
                         Pair{at(2, 2), at(2, 1)} * Pair{at(3, 0), at(3, 0)};
    const double d23 = d23_d13[0], d13 = d23_d13[1], d12 = d12_d03[0], d03 = d12_d03[1];
    const double d02 = d02_d01[0], d01 = d02_d01[1];
    // The minor deleting column c, with kept columns k0 < k1 < k2, is
    // (at(1, k0)·d(k1, k2) − at(1, k1)·d(k0, k2)) + at(1, k2)·d(k0, k1).
    const Pair minors01 =
        (Pair{at(1, 1), at(1, 0)} * Pair{d23, d23} - Pair{at(1, 2), at(1, 2)} * Pair{d13, d03}) +
        Pair{at(1, 3), at(1, 3)} * Pair{d12, d02};
    const Pair minors23 =
        (Pair{at(1, 0), at(1, 0)} * Pair{d13, d12} - Pair{at(1, 1), at(1, 1)} * Pair{d03, d02}) +
        Pair{at(1, 3), at(1, 2)} * Pair{d01, d01};
    const Pair t01 = Pair{at(0, 0), at(0, 1)} * minors01;
    const Pair t23 = Pair{at(0, 2), at(0, 3)} * minors23;
    return ((t01[0] - t01[1]) + t23[0]) - t23[1];
}

}  // namespace detail

// Laplace expansion along row 0.
constexpr double PGL4::det() const {
    if (!std::is_constant_evaluated()) return detail::detLanes(*this);
    const double t0 = get(0, 0) * (detail::minor)(*this, 0, 0);
    const double t1 = get(0, 1) * (detail::minor)(*this, 0, 1);
    const double t2 = get(0, 2) * (detail::minor)(*this, 0, 2);
    const double t3 = get(0, 3) * (detail::minor)(*this, 0, 3);
    return ((t0 - t1) + t2) - t3;
}

// Row r of the result is ((((+0 + m(r,0)·x) + m(r,1)·y) + m(r,2)·z) + m(r,3)·w.
inline HomVec4 PGL4::apply(HomVec4 v) const {
    const auto& d = data;
    return {(((0.0 + d[0] * v.x) + d[4] * v.y) + d[8] * v.z) + d[12] * v.w,
            (((0.0 + d[1] * v.x) + d[5] * v.y) + d[9] * v.z) + d[13] * v.w,
            (((0.0 + d[2] * v.x) + d[6] * v.y) + d[10] * v.z) + d[14] * v.w,
            (((0.0 + d[3] * v.x) + d[7] * v.y) + d[11] * v.z) + d[15] * v.w};
}

PGL4 pglTranslate(double tx, double ty, double tz);
PGL4 pglScale(double sx, double sy, double sz);
PGL4 pglRotateZ(double angle);

namespace detail {
// Never defined and not constexpr: reaching one of these while a constant is evaluated stops
// the build, and the compiler's message names the function, that is the problem.
void pglFromHomogeneous_singular_matrix();
void pglFromHomogeneous_determinant_is_nan();
}  // namespace detail

// Rows known when the program is built. A matrix whose determinant is exactly 0 does not build;
// nor does one whose determinant is NaN, since nothing shows that it is invertible.
consteval PGL4 pglFromHomogeneous(const double (&m)[4][4]) {
    const PGL4 result = PGL4::fromRowMajor(m);
    const double d = result.det();
    if (d == 0.0) detail::pglFromHomogeneous_singular_matrix();
    if (d != d) detail::pglFromHomogeneous_determinant_is_nan();
    return result;
}

PGL4 computeResonance(const PGL4& a);
PGL4 computeProjector(const PGL4& jc, double delta);
PGL4 deformedTensorProduct(const PGL4& x, const PGL4& y, double epsilon);

// Vector arithmetic on HomVec4, component by component: one IEEE operation per component, so
// a + b, a - b, -a and k * a give the same bits as the arithmetic written out.
constexpr HomVec4 operator+(HomVec4 a, HomVec4 b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
constexpr HomVec4 operator-(HomVec4 a, HomVec4 b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
constexpr HomVec4 operator-(HomVec4 a) { return {-a.x, -a.y, -a.z, -a.w}; }
constexpr HomVec4 operator*(double k, HomVec4 a) { return {k * a.x, k * a.y, k * a.z, k * a.w}; }
constexpr HomVec4 operator*(HomVec4 a, double k) { return k * a; }

// The part of v tangent to S³ at the unit point p: v − ⟨p, v⟩·p.
constexpr HomVec4 tangentPart(HomVec4 p, HomVec4 v) { return v - HomVec4::dot(p, v) * p; }

// Writes "(x, y, z, w)" with the stream's own number formatting.
std::ostream& operator<<(std::ostream& out, HomVec4 v);

}  // namespace vorn_kernel
