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
// joins them, of magnitude G·M / (sin²d + 1e-10) with d the Fubini–Study distance. Only
// body.position is read. Below d = 1e-10 the force is zero; at d = π/2 it is G·M / (1 + 1e-10).
//
// What to expect when the body and the attractor (nearly) coincide:
// If the attractor is exactly the body's unit-length position, or exactly its negation (the
// same point of projective space), the force is zero. If the two are merely very close, closer than about
// 1e-8, the result jumps between two extremes. Distances are arc cosines of a normalised dot
// product, and the arc cosine of the largest double below 1 is already about 1.49e-8, so such
// a pair is measured either at distance exactly 0 or at about 1.49e-8, depending on how the
// last bit of the dot product rounds. At 0 the force is zero. At 1.49e-8, which is above the
// 1e-10 cut-off, the force takes the law's softened maximum, about G·M·1e10: ten billion times
// the pull at a quarter turn. Which one you get cannot be told from the separation: in our
// measurements with random unit positions 1e-15 to 1e-9 apart, about one pair in twenty got
// the large force and the others got zero. Near the body's own point the large force points
// toward the attractor. Near the opposite point it points straight into the sphere (along the
// negated body position), and there a single rounding error away from the exact opposite
// point can be enough to trigger it. Positions that differ only by a rounding or two on the
// same side get zero force. A force this large ruins a simulation: passed to integrateStep,
// one step of 0.001 left a body with a speed of about 1e44, and the next step produced NaN.
// If a body can reach its attractor in your simulation, measure the distance first and skip
// the force below a separation you choose (1e-6, say), or keep the two apart with
// checkCollision. Keep both positions at unit length: with longer vectors even an attractor
// placed exactly on the body can get the large force.
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

// integrateStep(bodies[i], dt, external_forces[i]) for every i in order, with the same results
// bit for bit, several bodies at a time: on a large batch about 1.8 times the bodies per second
// of a loop of integrateStep calls. The two spans must be of equal length; otherwise
// std::invalid_argument is thrown and no body changes. Only that exception allocates.
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
