// Point bodies on S³: construction, forces, the integration step and collision detection.
//
// Bodies are plain value records. Only VornBody::applyForce, VornBody::clearForces,
// integrateStep and integrateSteps change a body, through the reference or span the caller
// passes. Nothing allocates, apart from the exception integrateSteps throws for spans of
// different lengths.
#pragma once

#include <cstdint>
#include <span>

#include "vorn_kernel.hpp"

namespace vorn_physics {

using vorn_kernel::HomVec4;

struct VornBody {
    // static_: never moved, ignores forces. dynamic: accumulates forces, moved by integrateStep
    // while active with mass at least 1e-10. kinematic: ignores forces and is never moved; the
    // caller writes its position and velocity.
    enum class BodyType : std::uint8_t { static_ = 0, dynamic = 1, kinematic = 2 };

    HomVec4 position;  // unit length after construction and after each step that moves it
    HomVec4 velocity;  // stored as given; tangent to the position after each step
    double mass;
    double restitution;   // 0.5 from both constructors; carried for callers, read by nothing here
    double friction;      // 0.3 from both constructors; carried for callers, read by nothing here
    HomVec4 force_accum;  // forces applied since the last step (or clearForces)
    BodyType body_type;
    bool active;

    // A dynamic, active body. The position is normalised; a position of norm at most 1e-15
    // (or NaN) becomes (0, 0, 0, 1). Velocity and mass are stored unchecked.
    static VornBody init(HomVec4 pos, HomVec4 vel, double mass);
    // A static, inactive body of mass 0 and velocity zero at the normalised position.
    static VornBody static_(HomVec4 pos);  // `static` is a keyword: nearest legal name
    // Adds the force to the accumulator of a dynamic body (active or not); others ignore it.
    void applyForce(HomVec4 force);
    void clearForces();
    // Fubini–Study distance of the two positions, in [0, π/2]; bodies at p and −p are at 0.
    double distanceTo(const VornBody& other) const;
};

// Attraction of `body` toward a point mass at `attractor_position`, along the great circle that
// joins them, of magnitude G·M / (sin²d + 1e-10) with d the Fubini–Study distance of the
// positions (only body.position is read). Zero below d = 1e-10, which includes an attractor at
// the body's point or its antipode. Nearly coinciding unit positions (closer than about 1e-8)
// get either zero or about G·M·1e10, depending on the last bit of their dot product: keep bodies
// out of such a range (docs/kernel.md, "Near-coincident positions and gravity"). The direction
// is taken toward the attractor with its sign, so pass the representative on the body's side
// (non-negative dot product) for a purely tangential pull.
HomVec4 vornGravity(const VornBody& body, HomVec4 attractor_position, double attractor_mass, double G);

// Linear drag −gamma·velocity, not projected onto any tangent space.
HomVec4 dampingForce(HomVec4 velocity, double gamma);

// Advances a dynamic, active body of mass at least 1e-10 by one fourth-order Runge–Kutta step
// of length dt under external_force plus its accumulated forces, then puts it back on the
// sphere, removes the radial part of its velocity and clears the accumulator. Any other body is
// left exactly as it was, accumulated forces included. dt is not checked; a negative dt steps
// backwards.
void integrateStep(VornBody& body, double dt, HomVec4 external_force);

// integrateStep(bodies[i], dt, external_forces[i]) for every i in order, several bodies at a
// time (faster on a large batch than a loop of integrateStep calls; docs/performance.md). The
// results are integrateStep's bit for bit, except the sign and payload of a NaN. The two spans
// must be of equal length; otherwise std::invalid_argument is thrown and no body changes. Only
// that exception allocates.
void integrateSteps(std::span<VornBody> bodies, double dt, std::span<const HomVec4> external_forces);

struct CollisionResult {
    double fs_distance;  // Fubini–Study distance of the two positions, in both outcomes
    HomVec4 normal;      // unit direction at the first body toward the second, or zero
    bool collided;       // distance strictly below the threshold
};

// Whether the bodies are closer than `threshold` (an angle); only the positions are read. A
// distance equal to the threshold is no contact. The normal is taken at `a`; it is zero when
// there is no contact or the positions coincide (as projective points).
CollisionResult checkCollision(const VornBody& a, const VornBody& b, double threshold);

}  // namespace vorn_physics
