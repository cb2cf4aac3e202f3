// What the animated viewer needs from a run: the position of every body at evenly spaced
// steps (at most about `max_points` positions in all), every contact and every capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "html_movie.hpp"
#include "simulation.hpp"

namespace orbits {

class MovieFrames {
public:
    MovieFrames(std::size_t bodies, std::uint64_t total_steps, std::size_t max_points);

    // Call once before the first step and once after every step.
    void record(const Simulation& simulation);

    std::size_t bodyCount() const { return bodies_; }
    std::size_t frameCount() const { return steps_.size(); }
    // The step of each frame, and the position of body i in frame f at [f·bodyCount() + i].
    const std::vector<std::uint64_t>& frameSteps() const { return steps_; }
    const std::vector<vorn_kernel::HomVec4>& positions() const { return positions_; }
    const std::vector<ContactEvent>& contacts() const { return contacts_; }
    const std::vector<CaptureEvent>& captures() const { return captures_; }
    // What the animated page shows of these frames around the fixed `attractors`.
    MovieRun run(const std::vector<vorn_physics::VornBody>& attractors) const;

private:
    std::size_t bodies_;
    std::uint64_t total_steps_;
    std::uint64_t stride_;
    std::vector<std::uint64_t> steps_;
    std::vector<vorn_kernel::HomVec4> positions_;
    std::vector<ContactEvent> contacts_;  // the first ones, up to a limit
    std::vector<CaptureEvent> captures_;
};

}  // namespace orbits
