// The live page's scenes: bodies on eccentric orbits around three fixed attractors, pulling one
// another, in a vorn_world::World; and the scene's determinism hash. The scene is built with
// arithmetic and square roots alone, which round the same on every target, so a native build
// and the WebAssembly build start from the same bits; what the hash then shows is whether the
// steps do too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <vorn/vorn_world.hpp>

namespace live {

// The choices the page offers; the native table (live_hashes) covers each pair of them.
inline constexpr std::array<int, 3> BODY_COUNTS = {8, 32, 128};
struct IntegratorChoice {
    const char* name;
    vorn_world::Integrator integrator;
};
// The adaptive integrator is left out: its steps shorten through the bodies' close passes, so
// that its hashed steps take far longer than the others' with 128 bodies.
inline constexpr std::array<IntegratorChoice, 3> INTEGRATORS = {{
    {"kdk", vorn_world::Integrator::kdk},
    {"yoshida4", vorn_world::Integrator::yoshida4},
    {"compat", vorn_world::Integrator::compat},
}};

inline constexpr double STEP = 0.004;
// The hash covers the state after every step from the first to this one.
inline constexpr std::uint64_t HASHED_STEPS = 200;

vorn_world::World makeWorld(int bodies);

// FNV-1a over the bytes of every position and velocity, in storage order, after each step.
class SceneHash {
public:
    void add(const vorn_world::World& world);
    std::uint64_t value() const { return value_; }

private:
    void add(double x);
    std::uint64_t value_ = 0xcbf29ce484222325ULL;
};

// Sixteen lower-case hex digits.
std::string hexOf(std::uint64_t value);

// A scene stepped and hashed: the hash is complete once HASHED_STEPS steps are done.
class LiveScene {
public:
    LiveScene(int bodies, vorn_world::Integrator integrator);
    // `count` steps of STEP; throws what World::step throws.
    void step(std::uint64_t count);
    bool hashComplete() const { return steps_ >= HASHED_STEPS; }
    std::uint64_t hash() const { return hash_.value(); }
    std::uint64_t steps() const { return steps_; }
    const vorn_world::World& world() const { return world_; }

private:
    vorn_world::World world_;
    vorn_world::Integrator integrator_;
    SceneHash hash_;
    std::uint64_t steps_ = 0;
};

}  // namespace live
