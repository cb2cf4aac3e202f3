// The registered tests of vorn_physics, in run order.
#pragma once

#include <array>

#include "vorn_testing.hpp"

namespace vorn_physics::registered {

void bodyCreationNormalizesPosition();
void staticBodyIsNotActive();
void bodyFsDistance();
void gravityHasNoSingularityAtZero();
void gravityIsFiniteAtQuarterTurn();
void dampingForceOpposesVelocity();
void integrateStepPreservesS3();
void integrateStepVelocityOrthogonalToPosition();
void collisionDetection();
void collisionAtCloseRange();
void bodyApplyForce();
void staticBodyIgnoresForce();

inline constexpr std::array<vorn::testing::TestCase, 12> tests{{
    {"vorn_physics.test.Physics: VornBody creation normalizes position", &bodyCreationNormalizesPosition},
    {"vorn_physics.test.Physics: VornBody static is not active", &staticBodyIsNotActive},
    {"vorn_physics.test.Physics: VornBody FS distance", &bodyFsDistance},
    {"vorn_physics.test.Physics: VornGravity has no singularity at d=0", &gravityHasNoSingularityAtZero},
    {"vorn_physics.test.Physics: VornGravity is finite at d=π/2", &gravityIsFiniteAtQuarterTurn},
    {"vorn_physics.test.Physics: Damping force", &dampingForceOpposesVelocity},
    {"vorn_physics.test.Physics: Integrate step preserves S³", &integrateStepPreservesS3},
    {"vorn_physics.test.Physics: Integrate step velocity orthogonal to position",
     &integrateStepVelocityOrthogonalToPosition},
    {"vorn_physics.test.Physics: Collision detection", &collisionDetection},
    {"vorn_physics.test.Physics: Collision at close range", &collisionAtCloseRange},
    {"vorn_physics.test.Physics: VornBody apply force", &bodyApplyForce},
    {"vorn_physics.test.Physics: Static body ignores force", &staticBodyIgnoresForce},
}};

}  // namespace vorn_physics::registered
