// integrateStep and integrateSteps: the step of vorn_physics/body_step.hpp, in the build of
// the lane code this CPU runs fastest.
#include <stdexcept>
#include <string>

#include "vorn_physics.hpp"
#include "vorn_physics/body_step.hpp"

namespace vorn_physics {

using vorn_kernel::detail::fastestLaneBuild;
using vorn_kernel::detail::runLanes;

void integrateStep(VornBody& body, double dt, HomVec4 external_force) {
    runLanes<&detail::stepOneBody>(fastestLaneBuild(), body, dt, external_force);
}

void integrateSteps(std::span<VornBody> bodies, double dt, std::span<const HomVec4> external_forces) {
    if (bodies.size() != external_forces.size()) {
        throw std::invalid_argument("integrateSteps: " + std::to_string(bodies.size()) + " bodies but " +
                                    std::to_string(external_forces.size()) + " external forces");
    }
    runLanes<&detail::stepBodies>(fastestLaneBuild(), bodies.data(), external_forces.data(), bodies.size(),
                                  dt);
}

}  // namespace vorn_physics
