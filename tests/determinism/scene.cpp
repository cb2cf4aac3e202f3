#include "scene.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <vector>

#include "vorn_physics.hpp"

namespace vorn::determinism {

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

class Fnv1a {
public:
    void add(std::uint64_t bits) {
        for (int i = 0; i < 8; ++i) {
            hash_ ^= (bits >> (8 * i)) & 0xffu;
            hash_ *= 0x100000001b3u;
        }
    }
    void add(double value) { add(std::bit_cast<std::uint64_t>(value)); }
    void add(HomVec4 v) {
        add(v.x);
        add(v.y);
        add(v.z);
        add(v.w);
    }
    std::uint64_t value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xcbf29ce484222325u;
};

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    double symmetric() {
        state_ += 0x9e3779b97f4a7c15u;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * 0x1p-52 - 1.0;
    }

private:
    std::uint64_t state_;
};

// Read back through memory the compiler cannot see through, so that nothing of the scene
// is evaluated while the program is compiled.
double opaque(double value) {
    volatile double stored = value;
    return stored;
}

struct Attractor {
    HomVec4 position;
    double mass;
};

constexpr double gravity_constant = 0.002;
constexpr double damping = 0.05;
constexpr double time_step = 0.01;
constexpr double contact_distance = 0.05;

std::vector<VornBody> makeBodies(int count, SplitMix64& rng) {
    std::vector<VornBody> bodies;
    bodies.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        // One draw per statement: the order of evaluation of function arguments differs
        // between compilers.
        std::array<double, 9> draw{};
        for (double& value : draw) value = rng.symmetric();
        const HomVec4 position = HomVec4::init(draw[0], draw[1], draw[2], draw[3]);
        // A velocity with a radial part: the first step takes it out.
        const HomVec4 velocity = HomVec4::init(0.2 * draw[4], 0.2 * draw[5], 0.2 * draw[6], 0.2 * draw[7]);
        bodies.push_back(VornBody::init(position, velocity, opaque(0.5) + 0.25 * (draw[8] + 1.0)));
    }
    return bodies;
}

}  // namespace

SceneSummary runScene(SceneSize size) {
    SplitMix64 rng(0x6465746572);
    const std::array<Attractor, 3> attractors = {
        Attractor{HomVec4::init(opaque(1), 0, 0, 0), opaque(1.0)},
        Attractor{HomVec4::init(0, opaque(0.6), 0, opaque(0.8)), opaque(0.7)},
        Attractor{HomVec4::init(0, 0, opaque(-1), opaque(1)).normalize(), opaque(1.3)}};
    std::vector<VornBody> bodies = makeBodies(size.bodies, rng);
    const double dt = opaque(time_step);
    const double gamma = opaque(damping);
    const double g = opaque(gravity_constant);
    const double threshold = opaque(contact_distance);

    Fnv1a hash;
    SceneSummary summary{0, 0, true};
    std::vector<HomVec4> drag(bodies.size());
    for (int frame = 0; frame < size.frames; ++frame) {
        // Each body's forces depend on it alone, so the whole world steps as one batch; the
        // result is that of stepping the bodies one by one.
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            for (const Attractor& attractor : attractors) {
                bodies[i].applyForce(
                    vorn_physics::vornGravity(bodies[i], attractor.position, attractor.mass, g));
            }
            drag[i] = vorn_physics::dampingForce(bodies[i].velocity, gamma);
        }
        vorn_physics::integrateSteps(bodies, dt, drag);
        for (const VornBody& body : bodies) {
            hash.add(body.position);
            hash.add(body.velocity);
            summary.finite =
                summary.finite && std::isfinite(body.position.norm()) && std::isfinite(body.velocity.norm());
        }
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            for (std::size_t j = i + 1; j < bodies.size(); ++j) {
                const vorn_physics::CollisionResult contact =
                    vorn_physics::checkCollision(bodies[i], bodies[j], threshold);
                hash.add(contact.fs_distance);
                hash.add(contact.normal);
                hash.add(std::uint64_t{contact.collided});
                summary.contacts += contact.collided ? 1 : 0;
            }
        }
    }
    summary.hash = hash.value();
    return summary;
}

}  // namespace vorn::determinism
