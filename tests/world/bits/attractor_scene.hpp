// The world's attractor-only scene: three attractors, bodies of every kind (one turning by
// more than 1/4 radian per step, one set off the unit sphere), forces applied between steps,
// kdk and yoshida4 in turn and the accelerations read between them; FNV-1a over the bits of
// every state. No C library function is on its path, so the hash is the same on every target.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "../scene_support.hpp"
#include "vorn_world.hpp"

namespace vorn::world_test {

inline constexpr std::uint64_t attractor_scene_hash = 0x3f52336ff9852bdeu;

inline std::uint64_t attractorSceneHash() {
    using vorn_world::Integrator;
    Random random(16);
    vorn_world::World world(0.05);
    for (int k = 0; k < 3; ++k) world.addAttractor(random.unit(), 0.6 + 0.3 * k);
    std::vector<vorn_world::BodyId> ids;
    for (int i = 0; i < 23; ++i) {
        const HomVec4 p = random.unit();
        const HomVec4 t = random.tangent(p, 0.3);
        const double fast = i == 17 ? 150.0 : 1.0;  // about half a radian per step
        const double off = i == 20 ? 1.5 : 1.0;
        VornBody body = VornBody::init(HomVec4::init(off * p.x, off * p.y, off * p.z, off * p.w),
                                       HomVec4::init(fast * t.x, fast * t.y, fast * t.z, fast * t.w),
                                       0.5 + 0.1 * (i % 7));
        if (i == 4) body.body_type = VornBody::BodyType::static_;
        if (i == 9) body.active = false;
        if (i == 13) body.body_type = VornBody::BodyType::kinematic;
        ids.push_back(world.add(body));
    }
    std::uint64_t hash = 14695981039346656037u;
    const auto add = [&hash](HomVec4 v) {
        unsigned char bytes[sizeof v];
        std::memcpy(bytes, &v, sizeof v);
        for (const unsigned char b : bytes) hash = (hash ^ b) * 1099511628211u;
    };
    std::vector<HomVec4> accelerations(world.size());
    for (int frame = 0; frame < 60; ++frame) {
        if (frame % 4 == 0) {
            for (std::size_t i = 0; i < ids.size(); i += 3)
                world.applyForce(ids[i], HomVec4::init(0.1, -0.2, 0.05, 0.0));
        }
        if (frame % 5 == 2) {
            world.accelerations(accelerations);
            for (const HomVec4 a : accelerations) add(a);
        }
        world.step(0.01, frame % 2 == 0 ? Integrator::kdk : Integrator::yoshida4);
        for (const VornBody& b : world.exportBodies()) {
            add(b.position);
            add(b.velocity);
            add(b.force_accum);
        }
    }
    world.accelerations(accelerations);
    for (const HomVec4 a : accelerations) add(a);
    return hash;
}

}  // namespace vorn::world_test
