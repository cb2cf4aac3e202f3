#include "bench_inputs.hpp"

#include <cmath>
#include <random>
#include <vector>

namespace vorn::bench {
namespace {

using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

class Generator {
public:
    explicit Generator(std::uint64_t seed) : engine_(seed) {}
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
    HomVec4 unit() {
        for (;;) {
            const HomVec4 v{uniform(-1, 1), uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
            const double n = v.norm();
            if (n > 0.1 && n <= 1.0) return v.normalize();
        }
    }
    // A unit vector orthogonal to p (Gram–Schmidt against a random direction).
    HomVec4 tangentAt(HomVec4 p) {
        for (;;) {
            const HomVec4 r = unit();
            const double k = HomVec4::dot(r, p);
            const HomVec4 t{r.x - k * p.x, r.y - k * p.y, r.z - k * p.z, r.w - k * p.w};
            if (t.norm() > 0.1) return t.normalize();
        }
    }

private:
    std::mt19937_64 engine_;
};

template <typename T, typename Make>
std::vector<T> make(std::uint64_t seed, Make make_one) {
    Generator gen(seed);
    std::vector<T> out;
    out.reserve(input_count);
    for (std::size_t i = 0; i < input_count; ++i) out.push_back(make_one(gen, i));
    return out;
}

std::vector<PGL4> makeMatrices(std::uint64_t seed) {
    return make<PGL4>(seed, [](Generator& gen, std::size_t) {
        PGL4 m = PGL4::identity();
        for (double& entry : m.data) entry += gen.uniform(-0.25, 0.25);
        return m;
    });
}

}  // namespace

std::span<const HomVec4> unitVectors() {
    static const auto values = make<HomVec4>(1, [](Generator& gen, std::size_t) { return gen.unit(); });
    return values;
}

std::span<const HomVec4> otherUnitVectors() {
    static const auto values = make<HomVec4>(2, [](Generator& gen, std::size_t) { return gen.unit(); });
    return values;
}

std::span<const HomVec4> tangentVelocities() {
    static const auto values = make<HomVec4>(3, [](Generator& gen, std::size_t i) {
        const HomVec4 t = gen.tangentAt(unitVectors()[i]);
        const double speed = gen.uniform(0.1, 2.0);
        return HomVec4{speed * t.x, speed * t.y, speed * t.z, speed * t.w};
    });
    return values;
}

std::span<const HomVec4> generalVectors() {
    static const auto values = make<HomVec4>(4, [](Generator& gen, std::size_t) {
        return HomVec4{gen.uniform(-10, 10), gen.uniform(-10, 10), gen.uniform(-10, 10),
                       gen.uniform(-10, 10)};
    });
    return values;
}

std::span<const double> scalars() {
    static const auto values =
        make<double>(5, [](Generator& gen, std::size_t) { return gen.uniform(-4, 4); });
    return values;
}

std::span<const double> positiveScalars() {
    static const auto values = make<double>(6, [](Generator& gen, std::size_t) {
        // Spread over twelve binades, so the bit-pattern guess sees many exponents.
        return std::ldexp(gen.uniform(1.0, 2.0), static_cast<int>(gen.uniform(-20, 20)));
    });
    return values;
}

std::span<const vorn_kernel::F32x4> f32Vectors() {
    static const auto values = make<vorn_kernel::F32x4>(7, [](Generator& gen, std::size_t) {
        return vorn_kernel::f32x4(
            static_cast<float>(gen.uniform(-4, 4)), static_cast<float>(gen.uniform(-4, 4)),
            static_cast<float>(gen.uniform(-4, 4)), static_cast<float>(gen.uniform(-4, 4)));
    });
    return values;
}

std::span<const PGL4> matrices() {
    static const auto values = makeMatrices(8);
    return values;
}

std::span<const PGL4> otherMatrices() {
    static const auto values = makeMatrices(9);
    return values;
}

std::span<const vorn_geodesic::GeodesicState> states() {
    static const auto values = make<vorn_geodesic::GeodesicState>(10, [](Generator&, std::size_t i) {
        return vorn_geodesic::GeodesicState::fromHomVec4(unitVectors()[i], tangentVelocities()[i]);
    });
    return values;
}

std::span<const vorn_physics::VornBody> bodies() {
    static const auto values = make<vorn_physics::VornBody>(11, [](Generator& gen, std::size_t i) {
        return vorn_physics::VornBody::init(unitVectors()[i], tangentVelocities()[i], gen.uniform(0.5, 2.0));
    });
    return values;
}

}  // namespace vorn::bench
