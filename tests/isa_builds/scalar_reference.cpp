#include "scalar_reference.hpp"

#include <cmath>
#include <cstddef>

namespace vorn::isa_builds {

using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

PGL4 referenceMul(const PGL4& a, const PGL4& b) {
    PGL4 result{};
    for (std::size_t col = 0; col < 4; ++col) {
        for (std::size_t row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (std::size_t k = 0; k < 4; ++k) sum = sum + a.get(row, k) * b.get(k, col);
            result.set(row, col, sum);
        }
    }
    return result;
}

namespace {

double minor3(const PGL4& m, std::size_t r, std::size_t c) {
    double s[3][3]{};
    std::size_t si = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i == r) continue;
        std::size_t sj = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            if (j == c) continue;
            s[si][sj++] = m.get(i, j);
        }
        ++si;
    }
    return (s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) -
            s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0])) +
           s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
}

}  // namespace

double referenceDet(const PGL4& m) {
    const double t0 = m.get(0, 0) * minor3(m, 0, 0);
    const double t1 = m.get(0, 1) * minor3(m, 0, 1);
    const double t2 = m.get(0, 2) * minor3(m, 0, 2);
    const double t3 = m.get(0, 3) * minor3(m, 0, 3);
    return ((t0 - t1) + t2) - t3;
}

ReferenceInverse referenceInverse(const PGL4& m, double delta, std::uint32_t max_iter) {
    const PGL4 I4 = PGL4::identity();
    PGL4 m_reg = m;
    for (std::size_t i = 0; i < 4; ++i) m_reg.set(i, i, m_reg.get(i, i) + delta);
    PGL4 mt{};
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) mt.set(row, col, m_reg.get(col, row));
    }
    double norm_sq = 0.0;
    for (std::size_t i = 0; i < 16; ++i) norm_sq = norm_sq + m_reg.data[i] * m_reg.data[i];
    PGL4 x = mt;
    for (double& entry : x.data) entry = entry / norm_sq;
    std::uint32_t iterations = 0;
    while (iterations < max_iter) {
        ++iterations;
        const PGL4 mx = referenceMul(m_reg, x);
        PGL4 two_i_minus_mx{};
        for (std::size_t i = 0; i < 16; ++i) two_i_minus_mx.data[i] = (2.0 * I4.data[i]) - mx.data[i];
        x = referenceMul(x, two_i_minus_mx);
        const PGL4 residual_check = referenceMul(m_reg, x);
        double residual = 0.0;
        for (std::size_t i = 0; i < 16; ++i) {
            const double diff = std::fabs(residual_check.data[i] - I4.data[i]);
            if (diff > residual) residual = diff;
        }
        if (residual < 1e-12) break;
    }
    return {x, iterations};
}

namespace {

HomVec4 advance(HomVec4 base, double factor, HomVec4 slope) {
    return {base.x + factor * slope.x, base.y + factor * slope.y, base.z + factor * slope.z,
            base.w + factor * slope.w};
}

HomVec4 acceleration(HomVec4 q, double s, HomVec4 f, double m) {
    return {(-s) * q.x + f.x / m, (-s) * q.y + f.y / m, (-s) * q.z + f.z / m, (-s) * q.w + f.w / m};
}

double combine(double base, double dt6, double k1, double k2, double k3, double k4) {
    return base + dt6 * (((k1 + 2.0 * k2) + 2.0 * k3) + k4);
}

}  // namespace

void referenceIntegrateStep(vorn_physics::VornBody& body, double dt, HomVec4 external_force) {
    if (!body.active || body.body_type != vorn_physics::VornBody::BodyType::dynamic) return;
    const HomVec4 q = body.position;
    const HomVec4 v = body.velocity;
    const double m = body.mass;
    if (m < 1e-10) return;
    const HomVec4 a = body.force_accum;
    const HomVec4 f{external_force.x + a.x, external_force.y + a.y, external_force.z + a.z,
                    external_force.w + a.w};
    const double half = 0.5 * dt;
    const HomVec4 k1_q = v;
    const HomVec4 k1_v = acceleration(q, HomVec4::dot(v, v), f, m);
    const HomVec4 q2 = advance(q, half, k1_q);
    const HomVec4 v2 = advance(v, half, k1_v);
    const HomVec4 k2_q = v2;
    const HomVec4 k2_v = acceleration(q2, HomVec4::dot(v2, v2), f, m);
    const HomVec4 q3 = advance(q, half, k2_q);
    const HomVec4 v3 = advance(v, half, k2_v);
    const HomVec4 k3_q = v3;
    const HomVec4 k3_v = acceleration(q3, HomVec4::dot(v3, v3), f, m);
    const HomVec4 q4 = advance(q, dt, k3_q);
    const HomVec4 v4 = advance(v, dt, k3_v);
    const HomVec4 k4_q = v4;
    const HomVec4 k4_v = acceleration(q4, HomVec4::dot(v4, v4), f, m);
    const double dt6 = dt / 6.0;
    HomVec4 p{
        combine(q.x, dt6, k1_q.x, k2_q.x, k3_q.x, k4_q.x), combine(q.y, dt6, k1_q.y, k2_q.y, k3_q.y, k4_q.y),
        combine(q.z, dt6, k1_q.z, k2_q.z, k3_q.z, k4_q.z), combine(q.w, dt6, k1_q.w, k2_q.w, k3_q.w, k4_q.w)};
    HomVec4 u{
        combine(v.x, dt6, k1_v.x, k2_v.x, k3_v.x, k4_v.x), combine(v.y, dt6, k1_v.y, k2_v.y, k3_v.y, k4_v.y),
        combine(v.z, dt6, k1_v.z, k2_v.z, k3_v.z, k4_v.z), combine(v.w, dt6, k1_v.w, k2_v.w, k3_v.w, k4_v.w)};
    if (p.norm() > 1e-15) p = p.normalize();
    const double vr = HomVec4::dot(u, p);
    u = {u.x - vr * p.x, u.y - vr * p.y, u.z - vr * p.z, u.w - vr * p.w};
    body.position = p;
    body.velocity = u;
    body.force_accum = HomVec4::zero();
}

std::vector<vorn_geodesic::GeodesicState> referenceFreeTrajectory(vorn_geodesic::GeodesicState y0,
                                                                  std::uint32_t n_steps, double h) {
    std::vector<vorn_geodesic::GeodesicState> out{y0};
    for (std::uint32_t i = 0; i < n_steps; ++i) {
        out.push_back(vorn_geodesic::rk4Step(vorn_geodesic::freeGeodesicRhs, 0.0, out.back(), h));
    }
    return out;
}

}  // namespace vorn::isa_builds
