// Point bodies on S³: construction, forces, the integration step and collision detection.
//
// Bodies are plain value records. Only VornBody::applyForce, VornBody::clearForces and
// integrateStep change a body, through the reference the caller passes; nothing allocates.
#pragma once

#include <cstdint>

#include "vorn_kernel.hpp"

namespace vorn_physics {

using vorn_kernel::HomVec4;

struct VornBody {
    // static_: never moved, ignores forces. dynamic: accumulates forces, moved by integrateStep
    // while active with mass at least 1e-10. kinematic: ignores forces and is never moved; the
    // caller writes its position and velocity.
    enum class BodyType : std::uint8_t { static_ = 0, dynamic = 1, kinematic = 2 };

    HomVec4 position;     // unit length after construction and after each step that moves it
    HomVec4 velocity;     // stored as given; tangent to the position after each step
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
// joins them, of magnitude G·M / (sin²d + 1e-10) with d the Fubini–Study distance. Only
// body.position is read. Below d = 1e-10 the force is zero; at d = π/2 it is G·M / (1 + 1e-10).
//
// What to expect when the body and the attractor (nearly) coincide:
// Distances between unit positions are not continuous near zero. The distance is computed as
// the arc cosine of the normalised dot product, and the largest double below 1 already has an
// arc cosine of about 1.49e-8. So two positions are either at distance exactly 0 (their dot
// product rounds to 1) or at least about 1.49e-8 apart, even when they differ only by a
// rounding error. In the first case the force is exactly zero. In the second case the distance
// is above the 1e-10 cut-off and the force takes its softened maximum, about G·M·1e10 (1e10
// times the force at a quarter turn), pointing along whatever tiny difference rounding left
// between the two vectors. This can happen for positions that are meant to be the same point,
// for example an attractor copied from a body's position after some arithmetic, a position
// rebuilt from its normalised form, or the antipode of the body built by negating a rounded
// vector; it can even happen for a position compared with itself, since its dot product with
// itself over its squared length does not always round to exactly 1. A body that comes that
// close to an attractor therefore receives a very large, essentially random kick. If your
// simulation can bring a body onto its attractor, test the distance yourself (for example
// skip the force below a separation of, say, 1e-6) or keep the attractor strictly apart.
//
// The direction comes from the attractor as given, with its sign. When the dot product of the
// body's position and the attractor's position is negative, the direction is not tangent at the
// body: pass the attractor's representative on the body's side (negate it if needed) to get a
// purely tangential pull toward the nearer of the two.
HomVec4 vornGravity(const VornBody& body, HomVec4 attractor_position, double attractor_mass, double G);

// Linear drag −gamma·velocity, not projected onto any tangent space.
HomVec4 dampingForce(HomVec4 velocity, double gamma);

// Advances a dynamic, active body of mass at least 1e-10 by one fourth-order Runge–Kutta step
// of length dt under external_force plus its accumulated forces, then puts it back on the
// sphere, removes the radial part of its velocity and clears the accumulator. Any other body is
// left exactly as it was, accumulated forces included. dt is not checked; a negative dt steps
// backwards.
void integrateStep(VornBody& body, double dt, HomVec4 external_force);

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
