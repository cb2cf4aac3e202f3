// Which bodies a step moves: the active dynamic ones of mass at least 1e-10 (a NaN mass passes).
// Bodies a step must not move keep everything, their accumulated forces included.
#pragma once

#include "vorn_physics.hpp"

namespace vorn_physics::detail {

[[gnu::always_inline]] inline bool isMoved(const VornBody& body) {
    return body.active && body.body_type == VornBody::BodyType::dynamic && !(body.mass < 1e-10);
}

}  // namespace vorn_physics::detail
