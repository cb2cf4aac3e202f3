// The registered tests of the physics module. Each check passes the computed value first (as
// `expected`) and the literal second.
#include <cmath>

#include "registered_tests.hpp"
#include "vorn_physics.hpp"
#include "vorn_testing.hpp"

namespace vorn_physics::registered {

using vorn::testing::expectApproxEqAbs;
using vorn::testing::expectTrue;

void bodyCreationNormalizesPosition() {
    const VornBody body = VornBody::init(HomVec4::fromCartesian(3, 4, 0), HomVec4::zero(), 1.0);
    expectApproxEqAbs(body.position.norm(), 1.0, 1e-10);
}

void staticBodyIsNotActive() {
    const VornBody body = VornBody::static_(HomVec4::init(0, 0, 0, 1));
    expectTrue(!body.active);
    expectTrue(body.body_type == VornBody::BodyType::static_);
}

void bodyFsDistance() {
    const VornBody a = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    const VornBody b = VornBody::init(HomVec4::init(0, 1, 0, 0), HomVec4::zero(), 1.0);
    const double d = a.distanceTo(b);
    expectApproxEqAbs(d, 1.5707963267948966, 1e-10);
}

void gravityHasNoSingularityAtZero() {
    const VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    const HomVec4 force = vornGravity(body, HomVec4::init(1, 0, 0, 0), 1.0, 1.0);
    expectApproxEqAbs(force.norm(), 0.0, 1e-10);
}

void gravityIsFiniteAtQuarterTurn() {
    const VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    const HomVec4 force = vornGravity(body, HomVec4::init(0, 1, 0, 0), 1.0, 1.0);
    expectTrue(force.norm() > 0.5);
    expectTrue(!std::isnan(force.norm()));
    expectTrue(!std::isinf(force.norm()));
}

void dampingForceOpposesVelocity() {
    const HomVec4 f = dampingForce(HomVec4::init(1, 0, 0, 0), 0.5);
    expectApproxEqAbs(f.x, -0.5, 1e-10);
}

void integrateStepPreservesS3() {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0.1, 0, 0), 1.0);
    integrateStep(body, 0.01, HomVec4::zero());
    expectApproxEqAbs(body.position.norm(), 1.0, 1e-6);
}

void integrateStepVelocityOrthogonalToPosition() {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0.1, 0, 0), 1.0);
    integrateStep(body, 0.01, HomVec4::zero());
    const double inner = HomVec4::dot(body.velocity, body.position);
    expectApproxEqAbs(std::fabs(inner), 0.0, 1e-6);
}

void collisionDetection() {
    const VornBody a = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    const VornBody b = VornBody::init(HomVec4::init(0, 1, 0, 0), HomVec4::zero(), 1.0);
    const CollisionResult result = checkCollision(a, b, 0.1);
    expectTrue(!result.collided);
}

void collisionAtCloseRange() {
    const VornBody a = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    const VornBody b = VornBody::init(HomVec4::init(0.99, 0.01, 0, 0).normalize(), HomVec4::zero(), 1.0);
    const CollisionResult result = checkCollision(a, b, 0.5);
    expectTrue(result.collided);
}

void bodyApplyForce() {
    VornBody body = VornBody::init(HomVec4::init(0, 0, 0, 1), HomVec4::zero(), 1.0);
    body.applyForce(HomVec4::init(1, 0, 0, 0));
    expectApproxEqAbs(body.force_accum.x, 1.0, 1e-10);
}

void staticBodyIgnoresForce() {
    VornBody body = VornBody::static_(HomVec4::init(0, 0, 0, 1));
    body.applyForce(HomVec4::init(100, 0, 0, 0));
    expectApproxEqAbs(body.force_accum.x, 0.0, 1e-10);
}

}  // namespace vorn_physics::registered
