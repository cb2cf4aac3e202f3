#include "live_scene.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace live {

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

constexpr double G = 1.0;
constexpr double ATTRACTOR_MASS = 0.02;
constexpr double BODY_MASS = 2e-4;
constexpr double SOFTENING = 1e-3;  // a core of about 0.03 rad, which the steps resolve

// splitmix64: the same numbers from every compiler and library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [-1, 1).
    double symmetric() { return static_cast<double>(next() >> 11) * 0x1.0p-52 - 1.0; }
    HomVec4 cube(double scale) {
        const double x = scale * symmetric();
        const double y = scale * symmetric();
        const double z = scale * symmetric();
        const double w = scale * symmetric();
        return HomVec4::init(x, y, z, w);
    }

private:
    std::uint64_t state_;
};

// v without its component along the unit vector u.
HomVec4 without(HomVec4 v, HomVec4 u) { return vorn_kernel::tangentPart(u, v); }

}  // namespace

vorn_world::World makeWorld(int bodies) {
    vorn_world::World world(G);
    world.setMutualGravity(true);
    world.setSoftening(SOFTENING);
    const HomVec4 attractors[3] = {HomVec4::init(0.9, 0.0, 0.0, 0.3).normalize(),
                                   HomVec4::init(-0.45, 0.78, 0.0, 0.3).normalize(),
                                   HomVec4::init(-0.45, -0.78, 0.0, 0.3).normalize()};
    for (const HomVec4& a : attractors) world.addAttractor(a, ATTRACTOR_MASS);
    Random random(2026);
    std::vector<VornBody> added;
    for (int i = 0; i < bodies; ++i) {
        const HomVec4 a = attractors[i % 3];
        // A point a chord of 0.15 to 0.45 from its attractor, then a direction of travel square
        // to the way back, at a little less than the speed of a circular orbit (v² = G·M/s
        // for a small chord s).
        HomVec4 away = without(random.cube(1.0), a);
        while (away.norm() < 1e-3) away = without(random.cube(1.0), a);
        const double chord = 0.3 + 0.15 * random.symmetric();
        const HomVec4 p = (a + chord * away.normalize()).normalize();
        const HomVec4 inward = without(a, p).normalize();
        HomVec4 along = without(without(random.cube(1.0), p), inward);
        while (along.norm() < 1e-3) along = without(without(random.cube(1.0), p), inward);
        const double speed = std::sqrt(G * ATTRACTOR_MASS / chord) * (0.85 + 0.1 * random.symmetric());
        added.push_back(VornBody::init(p, speed * along.normalize(), BODY_MASS));
    }
    world.add(added);
    return world;
}

void SceneHash::add(double x) {
    unsigned char bytes[sizeof x];
    std::memcpy(bytes, &x, sizeof x);
    for (const unsigned char b : bytes) value_ = (value_ ^ b) * 0x100000001b3ULL;
}

void SceneHash::add(const vorn_world::World& world) {
    for (const auto components : {world.positionComponents(), world.velocityComponents()}) {
        for (std::size_t i = 0; i < world.size(); ++i) {
            for (std::size_t c = 0; c < 4; ++c) add(components.data[c * components.stride + i]);
        }
    }
}

std::string hexOf(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

LiveScene::LiveScene(int bodies, vorn_world::Integrator integrator)
    : world_(makeWorld(bodies)), integrator_(integrator) {}

void LiveScene::step(std::uint64_t count) {
    for (std::uint64_t k = 0; k < count; ++k) {
        world_.step(STEP, integrator_);
        ++steps_;
        if (steps_ <= HASHED_STEPS) hash_.add(world_);
    }
}

}  // namespace live
