#include "battery.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

namespace vorn::bitexact {

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// A fixed simple generator: the same sequence with every compiler and library.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        state_ += 0x9e3779b97f4a7c15u;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }

    // Uniform in [-1, 1), 53 random bits scaled exactly.
    double symmetric() { return static_cast<double>(next() >> 11) * 0x1p-52 - 1.0; }

    // Uniform in [-1, 1) times a power of two drawn from `scales`.
    double scaled(std::span<const int> scales) {
        const int e = scales[next() % scales.size()];
        return std::ldexp(symmetric(), e);
    }

private:
    std::uint64_t state_;
};

std::uint64_t opaqueSeed() {
    volatile std::uint64_t seed = 0x766f726e2d626974u;
    return seed;
}

HomVec4 vec(double x, double y, double z, double w) {
    return HomVec4::init(opaque(x), opaque(y), opaque(z), opaque(w));
}

HomVec4 negated(HomVec4 v) { return HomVec4::init(-v.x, -v.y, -v.z, -v.w); }

HomVec4 scaledBy(HomVec4 v, double k) { return HomVec4::init(k * v.x, k * v.y, k * v.z, k * v.w); }

// Unit length by this program's own arithmetic, independent of the kernel under test.
HomVec4 unit(HomVec4 v) {
    const double n = std::sqrt(((v.x * v.x + v.y * v.y) + v.z * v.z) + v.w * v.w);
    return HomVec4::init(v.x / n, v.y / n, v.z / n, v.w / n);
}

// Draws in the order x, y, z, w: the order of evaluation of function arguments is not
// fixed by the language, and compilers differ.
HomVec4 randomVec(SplitMix64& rng) {
    const double x = rng.symmetric();
    const double y = rng.symmetric();
    const double z = rng.symmetric();
    const double w = rng.symmetric();
    return HomVec4::init(x, y, z, w);
}

HomVec4 randomScaledVec(SplitMix64& rng, std::span<const int> scales) {
    const double x = rng.scaled(scales);
    const double y = rng.scaled(scales);
    const double z = rng.scaled(scales);
    const double w = rng.scaled(scales);
    return HomVec4::init(x, y, z, w);
}

void addScalars(Battery& b, SplitMix64& rng) {
    const std::array<double, 21> specials = {0.0,
                                             -0.0,
                                             inf,
                                             -inf,
                                             std::numeric_limits<double>::quiet_NaN(),
                                             1.0,
                                             -1.0,
                                             0.5,
                                             2.0,
                                             3.0,
                                             4.0,
                                             9.0,
                                             1.5707963267948966,
                                             3.141592653589793,
                                             6.283185307179586,
                                             1e308,
                                             std::numeric_limits<double>::max(),
                                             std::numeric_limits<double>::min(),
                                             std::numeric_limits<double>::denorm_min(),
                                             -std::numeric_limits<double>::denorm_min(),
                                             1e-300};
    for (const double s : specials) b.scalars.push_back(opaque(s));

    // The thresholds the kernel compares against, one rounding below and above each.
    const std::array<double, 6> thresholds = {1e-15, 1e-12, 1e-10, 1e-8, 1e-6, static_cast<double>(1e-15f)};
    for (const double t : thresholds) {
        const double value = opaque(t);
        for (const double s : {std::nextafter(value, 0.0), value, std::nextafter(value, inf)}) {
            b.scalars.push_back(s);
            b.scalars.push_back(-s);
        }
    }

    const std::array<int, 8> scales = {-40, -20, -3, 0, 0, 1, 2, 20};
    for (int i = 0; i < 200; ++i) b.scalars.push_back(rng.scaled(scales));
}

void addVectors(Battery& b, SplitMix64& rng) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::array<HomVec4, 24> structured = {vec(0, 0, 0, 0),         vec(-0.0, -0.0, -0.0, -0.0),
                                                vec(1, 0, 0, 0),         vec(0, 1, 0, 0),
                                                vec(0, 0, 1, 0),         vec(0, 0, 0, 1),
                                                vec(-1, 0, 0, 0),        vec(0, 0, 0, -1),
                                                vec(1, 1, 1, 1),         vec(3, 4, 0, 1),
                                                vec(3, 0, 0, 4),         vec(0, 0, 1, 1),
                                                vec(1, 2, 3, 4),         vec(2, 4, 6, -2),
                                                vec(3, 4, 0, 0),         vec(1, 1, 0, 0),
                                                vec(-1, 1, 0, 0),        vec(1, 0, -1, 0),
                                                vec(nan, 0, 0, 1),       vec(0, 0, nan, 1),
                                                vec(1, 0, 0, nan),       vec(inf, 0, 0, 1),
                                                vec(1e200, 1e200, 0, 0), vec(1e-200, 0, 0, 1e-200)};
    for (const HomVec4 v : structured) b.vectors.push_back(v);

    // Lengths and weights on both sides of the thresholds.
    for (const double t : {1e-15, 1e-10, 1e-6, static_cast<double>(1e-15f)}) {
        const double value = opaque(t);
        for (const double s : {std::nextafter(value, 0.0), value, std::nextafter(value, inf)}) {
            b.vectors.push_back(HomVec4::init(s, 0, 0, 0));
            b.vectors.push_back(HomVec4::init(0, 0, 0, -s));
            b.vectors.push_back(HomVec4::init(1, 2, 3, s));
            b.vectors.push_back(HomVec4::init(1e-8, 0, 0, s));
        }
    }

    const std::array<int, 8> scales = {-60, -30, -8, 0, 0, 0, 3, 30};
    for (int i = 0; i < 200; ++i) {
        const HomVec4 v = randomScaledVec(rng, scales);
        b.vectors.push_back(i % 3 == 0 ? unit(v) : v);
    }
}

void addPairs(Battery& b, SplitMix64& rng) {
    for (std::size_t i = 0; i < b.vectors.size(); i += 3) {
        const HomVec4 v = b.vectors[i];
        b.pairs.emplace_back(v, v);
        b.pairs.emplace_back(v, negated(v));
        b.pairs.emplace_back(v, scaledBy(v, 3.0));
    }
    for (std::size_t i = 0; i + 1 < b.vectors.size(); i += 2)
        b.pairs.emplace_back(b.vectors[i], b.vectors[i + 1]);

    // Points a little apart, near coincidence and near antipodes, around the cut-offs.
    for (int i = 0; i < 16; ++i) {
        const HomVec4 p = unit(randomVec(rng));
        const HomVec4 r = randomVec(rng);
        for (const double eps : {1e-4, 1e-7, 1e-8, 1e-9, 1e-10, 1e-12, 1e-16}) {
            const double e = opaque(eps);
            const HomVec4 q = unit(HomVec4::init(p.x + e * r.x, p.y + e * r.y, p.z + e * r.z, p.w + e * r.w));
            b.pairs.emplace_back(p, q);
            b.pairs.emplace_back(p, negated(q));
        }
    }
    for (int i = 0; i < 100; ++i) {
        const HomVec4 p = unit(randomVec(rng));
        b.pairs.emplace_back(p, unit(randomVec(rng)));
    }
}

void addPointsAndTangents(Battery& b, SplitMix64& rng) {
    const std::array<std::pair<HomVec4, HomVec4>, 4> structured = {
        std::pair{vec(1, 0, 0, 0), vec(0, 1, 0, 0)}, std::pair{vec(0, 0, 0, 1), vec(0, 0.1, 0, 0)},
        std::pair{vec(1, 0, 0, 0), vec(0, 0, 0, 0)}, std::pair{vec(0, 0, 1, 0), vec(1e-16, 0, 0, 0)}};
    for (const auto& [p, v] : structured) {
        b.points.push_back(p);
        b.tangents.push_back(v);
    }
    const std::array<int, 5> speeds = {-30, -3, -1, 0, 1};
    for (int i = 0; i < 120; ++i) {
        const HomVec4 p = unit(randomVec(rng));
        const HomVec4 r = randomVec(rng);
        const double along = ((r.x * p.x + r.y * p.y) + r.z * p.z) + r.w * p.w;
        const double k = std::ldexp(1.0, speeds[rng.next() % speeds.size()]);
        b.points.push_back(p);
        b.tangents.push_back(HomVec4::init(k * (r.x - along * p.x), k * (r.y - along * p.y),
                                           k * (r.z - along * p.z), k * (r.w - along * p.w)));
    }
}

PGL4 rows(const std::array<double, 16>& row_major) {
    PGL4 m{};
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) m.set(row, col, opaque(row_major[4 * row + col]));
    }
    return m;
}

void addMatrices(Battery& b, SplitMix64& rng) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    b.matrices.push_back(rows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    b.matrices.push_back(rows({}));
    b.matrices.push_back(rows({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1}));
    b.matrices.push_back(rows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}));
    b.matrices.push_back(rows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    b.matrices.push_back(rows({1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16}));
    b.matrices.push_back(rows({0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0}));
    b.matrices.push_back(rows({2, 0, 0, 6, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    b.matrices.push_back(rows({1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 5, 0, 0, 2}));
    b.matrices.push_back(rows({-0.0, 0, 0, 0, 0, -0.0, 0, 0, 0, 0, -2, 0, 0, 0, 0, -0.5}));
    b.matrices.push_back(rows({nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    b.matrices.push_back(rows({1, 0, 0, 0, 0, inf, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    b.matrices.push_back(rows({1e-8, 0, 0, 0, 0, 1e8, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    for (int i = 0; i < 32; ++i) {
        PGL4 m{};
        for (double& entry : m.data) entry = rng.symmetric();
        if (i % 4 == 1) {
            for (std::size_t d = 0; d < 4; ++d) m.set(d, d, m.get(d, d) + 4.0);
        }
        if (i % 4 == 2) {
            for (std::size_t col = 0; col < 4; ++col) m.set(3, col, m.get(0, col));
        }
        b.matrices.push_back(m);
    }
}

void addHugeInputs(Battery& b) {
    const double max = std::numeric_limits<double>::max();
    const double big = std::ldexp(1.0, 600);
    for (const HomVec4 v :
         {vec(1e155, 0, 0, 0), vec(1e160, 0, 0, 0), vec(0, 0, 0, -1e200), vec(1e200, 1e200, 0, 0),
          vec(big * 0.3, big * -1.2, big * 2.5, big * 0.7), vec(1e300, -1e-300, 3e299, 0),
          vec(max, max, 0, 0), vec(-max, 0, max, 1), vec(1e-20, 1e160, 0, 1)}) {
        b.huge_vectors.push_back(v);
    }
    const auto lanes = [](double x, double y, double z, double w) {
        return vorn_kernel::f32x4(static_cast<float>(opaque(x)), static_cast<float>(opaque(y)),
                                  static_cast<float>(opaque(z)), static_cast<float>(opaque(w)));
    };
    b.huge_lanes = {lanes(1e20, 0, 0, 0), lanes(3e30, 0, 0, -4e30), lanes(3e38, 3e38, 1, 0)};
    b.huge_matrices.push_back(rows({1e100, 0, 0, 0, 0, 1e100, 0, 0, 0, 0, 1e100, 0, 0, 0, 0, 1e100}));
    b.huge_matrices.push_back(rows({1e300, 2e300, 0, 0, 1e300, 2e300, 0, 0, 0, 0, 1e300, 0, 0, 0, 0, 1e300}));
    b.huge_matrices.push_back(rows({7e200, -3e200, 5e200, 2e200, -4e200, 9e200, 1e200, -6e200, 8e200, 2e200,
                                    -7e200, 3e200, 1e200, -5e200, 4e200, 9e200}));
    b.huge_matrices.push_back(rows({1e200, 0, 0, 0, 0, 1e200, 0, 0, 0, 0, 1e-100, 0, 0, 0, 0, 1e-100}));
    b.huge_matrices.push_back(rows({max, 0, 0, 0, 0, max, 0, 0, 0, 0, max, 0, 0, 0, 0, -max}));
}

}  // namespace

double opaque(double value) {
    volatile double stored = value;
    return stored;
}

Battery makeBattery() {
    Battery b;
    SplitMix64 rng(opaqueSeed());
    addScalars(b, rng);
    addVectors(b, rng);
    addPairs(b, rng);
    addPointsAndTangents(b, rng);
    addMatrices(b, rng);
    addHugeInputs(b);
    return b;
}

}  // namespace vorn::bitexact
