// What the picture needs from a run: a thinned-out path per body, the contacts and the
// captures. The number of points kept is bounded, so long runs give small pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simulation.hpp"

namespace orbits {

class TrajectorySketch {
public:
    // `total_steps` is the length of the run; about `max_points` points are kept in all.
    TrajectorySketch(std::size_t bodies, std::uint64_t total_steps, std::size_t max_points);

    // Call once before the first step and once after every step.
    void record(const Simulation& simulation);

    const std::vector<std::vector<vorn_kernel::HomVec4>>& paths() const { return paths_; }
    const std::vector<ContactEvent>& contacts() const { return contacts_; }
    const std::vector<CaptureEvent>& captures() const { return captures_; }
    std::uint64_t contactCount() const { return contact_count_; }

private:
    std::uint64_t total_steps_;
    std::uint64_t stride_;
    std::vector<std::vector<vorn_kernel::HomVec4>> paths_;
    std::vector<ContactEvent> contacts_;  // the first ones, up to a limit
    std::vector<CaptureEvent> captures_;
    std::uint64_t contact_count_ = 0;
};

}  // namespace orbits
