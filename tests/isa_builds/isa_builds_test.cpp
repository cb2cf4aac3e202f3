// The vector algorithms are written once over the lane layer and compiled for the target's
// baseline and, on x86-64, for AVX2 and AVX-512; the CPU picks one at run time. Every build
// this CPU runs, and the public entry point, must give exactly the bits of the scalar
// transcription, special values included.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory_resource>
#include <random>
#include <vector>

#include "scalar_reference.hpp"
#include "vorn_geodesic/rk4_step.hpp"
#include "vorn_kernel/lanes.hpp"
#include "vorn_kernel/matrix_lanes.hpp"
#include "vorn_kernel/newton_schulz.hpp"
#include "vorn_physics/body_step.hpp"

namespace vorn::isa_builds {
namespace {

using vorn_geodesic::GeodesicState;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;
using vorn_physics::VornBody;

using vorn_kernel::detail::LaneBuild;
using vorn_kernel::detail::runLanes;

#if defined(__x86_64__) || defined(__i386__)
bool hasAvx2() { return __builtin_cpu_supports("avx2"); }
bool hasAvx512() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
}
#else
bool hasAvx2() { return false; }
bool hasAvx512() { return false; }
#endif

// The builds of the lane code this CPU can run, with a name for messages.
struct NamedBuild {
    LaneBuild build;
    const char* name;
};

std::vector<NamedBuild> buildsToCheck() {
    std::vector<NamedBuild> builds{{LaneBuild::baseline, "baseline build"}};
    if (hasAvx2()) builds.push_back({LaneBuild::avx2, "AVX2 build"});
    if (hasAvx512()) builds.push_back({LaneBuild::avx512, "AVX-512 build"});
    return builds;
}

// The f64 words of a value, bit for bit, except that every NaN counts as the same value:
// IEEE 754 leaves the sign and payload of a NaN result open when an operand is NaN, and the
// compiler may swap the operands of + and · (which decides the NaN passed on).
constexpr std::uint64_t any_nan = 0x7ff8000000000000;

template <typename T>
std::vector<std::uint64_t> bitsOf(const T& value) {
    static_assert(sizeof(T) % 8 == 0);
    std::vector<double> doubles(sizeof(T) / 8);
    std::memcpy(doubles.data(), &value, sizeof(T));
    std::vector<std::uint64_t> words;
    words.reserve(doubles.size());
    for (const double d : doubles) words.push_back(d != d ? any_nan : std::bit_cast<std::uint64_t>(d));
    return words;
}

std::vector<std::uint64_t> bodyBits(const VornBody& b) {
    std::vector<std::uint64_t> out = bitsOf(b.position);
    for (const auto& part : {bitsOf(b.velocity), bitsOf(b.force_accum)})
        out.insert(out.end(), part.begin(), part.end());
    const auto mass = bitsOf(b.mass);
    out.insert(out.end(), mass.begin(), mass.end());
    return out;
}

// Mostly ordinary values, with special values mixed in: signed zeros, infinities, NaN,
// subnormals, and magnitudes that overflow or underflow in products.
class Values {
public:
    explicit Values(std::uint64_t seed) : engine_(seed) {}
    double next() {
        constexpr double inf = std::numeric_limits<double>::infinity();
        static constexpr std::array<double, 10> specials{
            0.0,    -0.0,    inf,   -inf,    std::numeric_limits<double>::quiet_NaN(),
            5e-324, -1e-310, 1e300, -1e-300, 1.0};
        const auto pick = std::uniform_int_distribution<std::size_t>(0, 99)(engine_);
        if (pick < 4) return specials[pick + std::uniform_int_distribution<std::size_t>(0, 6)(engine_)];
        return std::uniform_real_distribution<double>(-3.0, 3.0)(engine_);
    }
    double ordinary(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
    PGL4 matrix() {
        PGL4 m{};
        for (double& e : m.data) e = next();
        return m;
    }
    // Near the identity, so that the iteration converges after a varying number of steps.
    PGL4 invertible() {
        PGL4 m = PGL4::identity();
        for (double& e : m.data) e += ordinary(-0.4, 0.4);
        return m;
    }
    HomVec4 vector() { return {next(), next(), next(), next()}; }
    HomVec4 unitVector() {
        return HomVec4{ordinary(-1, 1), ordinary(-1, 1), ordinary(-1, 1), ordinary(-1, 1)}.normalize();
    }

private:
    std::mt19937_64 engine_;
};

// The kernel reads AVX2 support from the C library's table; the compiler runtime asks the CPU.
TEST(IsaBuilds, TheKernelSeesAvx2AsTheCompilerRuntimeDoes) {
    EXPECT_EQ(vorn_kernel::detail::fastestLaneBuild() == LaneBuild::avx2, hasAvx2());
}

TEST(IsaBuilds, TheKernelSeesAvx512AsTheCompilerRuntimeDoes) {
    EXPECT_EQ(vorn_kernel::detail::widestLaneBuild() == LaneBuild::avx512, hasAvx512());
}

TEST(IsaBuilds, MatrixProductMatchesScalarLoops) {
    Values values(1);
    for (int n = 0; n < 20000; ++n) {
        const PGL4 a = values.matrix();
        const PGL4 b = values.matrix();
        const auto expected = bitsOf(referenceMul(a, b));
        for (const auto& [build, name] : buildsToCheck()) {
            PGL4 out{};
            runLanes<&vorn_kernel::detail::mulLanes>(build, a.data.data(), b.data.data(), out.data.data());
            ASSERT_EQ(bitsOf(out), expected) << name << ", case " << n;
        }
        ASSERT_EQ(bitsOf(PGL4::mul(a, b)), expected) << "PGL4::mul, case " << n;
    }
}

TEST(IsaBuilds, ProductKeepsThePositiveZeroOfTheEmptySum) {
    // Every product is −0 here; the sum starts at +0, so each entry is +0.
    const PGL4 a = PGL4::init(
        {-0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0});
    const PGL4 b = PGL4::init({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    for (const double entry : PGL4::mul(a, b).data) EXPECT_FALSE(std::signbit(entry));
}

TEST(IsaBuilds, DeterminantMatchesLaplaceExpansion) {
    Values values(2);
    for (int n = 0; n < 50000; ++n) {
        PGL4 m = values.matrix();
        // Small integers give exact cancellations, where the signs of zeros show.
        if (n % 3 == 0) {
            for (double& e : m.data) e = std::round(values.ordinary(-3, 3));
        }
        const double expected = referenceDet(m);
        ASSERT_EQ(bitsOf(m.det()), bitsOf(expected)) << "case " << n;
    }
}

TEST(IsaBuilds, CompileTimeAndRunTimeDeterminantsAgree) {
    static constexpr PGL4 m = PGL4::init(
        {0.3, -1.7, 2.9, 0.1, 4.25, 0.5, -0.75, 1.5, 3.0, 2.0, -2.5, 0.125, 1e-3, -7.0, 1.0 / 3.0, 2.0});
    constexpr double at_compile_time = m.det();
    const PGL4 runtime_copy = m;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(runtime_copy.det()),
              std::bit_cast<std::uint64_t>(at_compile_time));
}

// Whether the iteration's start overflows: m + delta·I has finite entries whose sum of squares,
// in storage order, is infinite. PGL4::inverse then reruns the iteration on a rescaled copy
// (tests/kernel/huge_components_test.cpp checks that run).
bool startOverflows(const PGL4& m, double delta) {
    PGL4 m_reg = m;
    for (std::size_t i = 0; i < 4; ++i) m_reg.set(i, i, m_reg.get(i, i) + delta);
    double norm_sq = 0.0;
    for (const double entry : m_reg.data) norm_sq = norm_sq + entry * entry;
    return std::isinf(norm_sq) && std::ranges::all_of(m_reg.data, [](double e) { return std::isfinite(e); });
}

TEST(IsaBuilds, NewtonSchulzMatchesScalarIteration) {
    Values values(3);
    for (int n = 0; n < 3000; ++n) {
        const PGL4 m = n % 4 == 0 ? values.matrix() : values.invertible();
        const double delta = n % 5 == 0 ? 0.0 : values.ordinary(0.0, 1e-6);
        const auto max_iter = static_cast<std::uint32_t>(n % 17);
        const ReferenceInverse expected = referenceInverse(m, delta, max_iter);
        const auto check = [&](const vorn_kernel::detail::NewtonSchulzResult& got, const char* build) {
            ASSERT_EQ(bitsOf(got.inverse), bitsOf(expected.inverse)) << build << ", case " << n;
            ASSERT_EQ(got.iterations, expected.iterations) << build << ", case " << n;
        };
        for (const auto& [build, name] : buildsToCheck())
            check(vorn_kernel::detail::newtonSchulzInverse(m, delta, max_iter, build), name);
        if (startOverflows(m, delta)) continue;
        ASSERT_EQ(bitsOf(m.inverse(delta, max_iter)), bitsOf(expected.inverse))
            << "PGL4::inverse, case " << n;
    }
}

TEST(IsaBuilds, NewtonSchulzStopsOnNaNAsTheScalarIterationDoes) {
    const PGL4 zero = PGL4::init({});
    const ReferenceInverse expected = referenceInverse(zero, 0.0, 15);
    const auto got = vorn_kernel::detail::newtonSchulzInverse(zero, 0.0, 15);
    EXPECT_EQ(got.iterations, 1u);
    EXPECT_EQ(got.iterations, expected.iterations);
    EXPECT_EQ(bitsOf(got.inverse), bitsOf(expected.inverse));
}

VornBody randomBody(Values& values, int n) {
    VornBody body = VornBody::init(values.unitVector(), values.vector(), values.ordinary(0.5, 2.0));
    switch (n % 12) {
        case 0:
            body.position = values.vector();
            break;  // off the sphere, special values
        case 1:
            body.mass = values.next();
            break;  // zero, negative, NaN, tiny masses
        case 2:
            body.active = false;
            break;
        case 3:
            body.body_type = VornBody::BodyType::kinematic;
            break;
        case 4:
            body.position = HomVec4::zero();
            body.velocity = HomVec4::zero();
            break;
        default:
            body.velocity = HomVec4{0.1 * body.velocity.x, 0.1 * body.velocity.y, 0.0, -0.0};
            break;
    }
    body.force_accum = n % 2 == 0 ? values.vector() : HomVec4::zero();
    return body;
}

TEST(IsaBuilds, IntegrateStepMatchesScalarStages) {
    Values values(4);
    for (int n = 0; n < 50000; ++n) {
        const VornBody start = randomBody(values, n);
        const HomVec4 force = n % 3 == 0 ? values.vector() : HomVec4::zero();
        const double dt = n % 7 == 0 ? values.next() : values.ordinary(-0.1, 0.1);
        VornBody expected = start;
        referenceIntegrateStep(expected, dt, force);

        VornBody got = start;
        for (const auto& [build, name] : buildsToCheck()) {
            got = start;
            runLanes<&vorn_physics::detail::stepOneBody>(build, got, dt, force);
            ASSERT_EQ(bodyBits(got), bodyBits(expected)) << name << ", case " << n;
        }
        got = start;
        vorn_physics::integrateStep(got, dt, force);
        ASSERT_EQ(bodyBits(got), bodyBits(expected)) << "integrateStep, case " << n;
    }
}

// Batches of every length up to 21, so that groups of bodies and the ones left over are both
// met, with bodies of every kind mixed in (a group with one body the step must not move is
// stepped body by body).
TEST(IsaBuilds, IntegrateStepsMatchesScalarStagesForEveryBody) {
    Values values(6);
    std::mt19937_64 kinds(7);
    for (int n = 0; n < 4000; ++n) {
        const std::size_t count = static_cast<std::size_t>(n % 22);
        const double dt = n % 7 == 0 ? values.next() : values.ordinary(-0.1, 0.1);
        std::vector<VornBody> start;
        std::vector<HomVec4> forces;
        for (std::size_t i = 0; i < count; ++i) {
            start.push_back(randomBody(values, static_cast<int>(kinds() % 12)));
            forces.push_back(i % 3 == 0 ? values.vector() : HomVec4::zero());
        }
        std::vector<VornBody> expected = start;
        for (std::size_t i = 0; i < count; ++i) referenceIntegrateStep(expected[i], dt, forces[i]);

        const auto check = [&](const std::vector<VornBody>& got, const char* build) {
            for (std::size_t i = 0; i < count; ++i) {
                ASSERT_EQ(bodyBits(got[i]), bodyBits(expected[i]))
                    << build << ", case " << n << ", body " << i;
            }
        };
        std::vector<VornBody> got;
        for (const auto& [build, name] : buildsToCheck()) {
            got = start;
            runLanes<&vorn_physics::detail::stepBodies>(build, got.data(), forces.data(), count, dt);
            check(got, name);
        }
        got = start;
        vorn_physics::integrateSteps(got, dt, forces);
        check(got, "integrateSteps");
    }
}

TEST(IsaBuilds, FreeGeodesicStepsMatchRk4Step) {
    Values values(5);
    for (int n = 0; n < 2000; ++n) {
        const GeodesicState y0 = n % 5 == 0
                                     ? GeodesicState::fromHomVec4(values.vector(), values.vector())
                                     : GeodesicState::fromHomVec4(values.unitVector(), values.unitVector());
        const auto n_steps = static_cast<std::uint32_t>(n % 40);
        const double h = n % 9 == 0 ? values.next() : values.ordinary(-0.2, 0.2);
        const std::vector<GeodesicState> expected = referenceFreeTrajectory(y0, n_steps, h);

        for (const auto& [build, name] : buildsToCheck()) {
            std::vector<GeodesicState> got(n_steps + 1, y0);
            runLanes<&vorn_geodesic::detail::freeGeodesicSteps>(build, got.data(), std::size_t{n_steps}, h);
            for (std::size_t k = 0; k < got.size(); ++k)
                ASSERT_EQ(bitsOf(got[k]), bitsOf(expected[k])) << name << ", case " << n << ", state " << k;
        }
    }
}

TEST(IsaBuilds, Rk4IntegrateOfFreeMotionMatchesRk4Step) {
    Values values(6);
    std::pmr::monotonic_buffer_resource arena;
    for (int n = 0; n < 200; ++n) {
        const GeodesicState y0 = GeodesicState::fromHomVec4(values.unitVector(), values.unitVector());
        const double t1 = values.ordinary(-3, 3);
        const auto n_steps = static_cast<std::uint32_t>(1 + n % 60);
        const double h = (t1 - 0.0) / static_cast<double>(n_steps);
        const std::vector<GeodesicState> expected = referenceFreeTrajectory(y0, n_steps, h);
        const auto got =
            vorn_geodesic::rk4Integrate(vorn_geodesic::freeGeodesicRhs, 0.0, t1, y0, n_steps, arena);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            ASSERT_EQ(bitsOf(got[k]), bitsOf(expected[k])) << n << ", " << k;
    }
}

}  // namespace
}  // namespace vorn::isa_builds
