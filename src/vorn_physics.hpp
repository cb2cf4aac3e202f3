// Point bodies on S³: construction, forces, the integration step and collision detection.
#pragma once

#include <cstdint>

#include "vorn_kernel.hpp"

namespace vorn_physics {

using vorn_kernel::HomVec4;

struct VornBody {
    enum class BodyType : std::uint8_t { static_ = 0, dynamic = 1, kinematic = 2 };

    HomVec4 position;
    HomVec4 velocity;
    double mass;
    double restitution;
    double friction;
    HomVec4 force_accum;
    BodyType body_type;
    bool active;

    static VornBody init(HomVec4 pos, HomVec4 vel, double mass);
    static VornBody static_(HomVec4 pos);  // `static` is a keyword: nearest legal name
    void applyForce(HomVec4 force);
    void clearForces();
    double distanceTo(const VornBody& other) const;
};

HomVec4 vornGravity(const VornBody& body, HomVec4 attractor_position, double attractor_mass, double G);
HomVec4 dampingForce(HomVec4 velocity, double gamma);
void integrateStep(VornBody& body, double dt, HomVec4 external_force);

struct CollisionResult {
    double fs_distance;
    HomVec4 normal;
    bool collided;
};

CollisionResult checkCollision(const VornBody& a, const VornBody& b, double threshold);

}  // namespace vorn_physics
