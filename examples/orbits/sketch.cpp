#include "sketch.hpp"

#include <algorithm>

namespace orbits {

namespace {
constexpr std::size_t MAX_CONTACT_MARKS = 400;

bool samePosition(vorn_kernel::HomVec4 a, vorn_kernel::HomVec4 b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

}  // namespace

TrajectorySketch::TrajectorySketch(std::size_t bodies, std::uint64_t total_steps, std::size_t max_points)
    : total_steps_(total_steps), paths_(bodies) {
    const std::uint64_t per_body = std::max<std::uint64_t>(2, max_points / std::max<std::size_t>(1, bodies));
    stride_ = std::max<std::uint64_t>(1, (total_steps + per_body - 1) / per_body);
}

void TrajectorySketch::record(const Simulation& simulation) {
    const std::uint64_t step = simulation.stepsDone();
    if (step % stride_ == 0 || step == total_steps_) {
        const auto& bodies = simulation.bodies();
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            // A captured body no longer moves: its path ends where it stopped.
            if (!bodies[i].active && !paths_[i].empty() &&
                samePosition(paths_[i].back(), bodies[i].position)) {
                continue;
            }
            paths_[i].push_back(bodies[i].position);
        }
    }
    for (const ContactEvent& contact : simulation.newContacts()) {
        ++contact_count_;
        if (contacts_.size() < MAX_CONTACT_MARKS) contacts_.push_back(contact);
    }
    captures_.insert(captures_.end(), simulation.newCaptures().begin(), simulation.newCaptures().end());
}

}  // namespace orbits
