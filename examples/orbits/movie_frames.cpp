#include "movie_frames.hpp"

#include <algorithm>

namespace orbits {

namespace {
constexpr std::size_t MAX_CONTACTS = 2000;
}

MovieFrames::MovieFrames(std::size_t bodies, std::uint64_t total_steps, std::size_t max_points)
    : bodies_(bodies), total_steps_(total_steps) {
    const std::uint64_t frames = std::max<std::uint64_t>(2, max_points / std::max<std::size_t>(1, bodies));
    stride_ = std::max<std::uint64_t>(1, (total_steps + frames - 2) / (frames - 1));
}

void MovieFrames::record(const Simulation& simulation) {
    const std::uint64_t step = simulation.stepsDone();
    if (step % stride_ == 0 || step == total_steps_) {
        steps_.push_back(step);
        for (const auto& body : simulation.bodies()) positions_.push_back(body.position);
    }
    for (const ContactEvent& contact : simulation.newContacts()) {
        if (contacts_.size() < MAX_CONTACTS) contacts_.push_back(contact);
    }
    captures_.insert(captures_.end(), simulation.newCaptures().begin(), simulation.newCaptures().end());
}

MovieRun MovieFrames::run(const std::vector<vorn_physics::VornBody>& attractors) const {
    MovieRun run{bodies_, steps_, positions_, {}, {}, {}};
    for (const auto& attractor : attractors) run.attractors.push_back(attractor.position);
    for (const ContactEvent& contact : contacts_) {
        run.contacts.push_back({contact.step, static_cast<std::size_t>(contact.first),
                                static_cast<std::size_t>(contact.second)});
    }
    for (const CaptureEvent& capture : captures_) {
        run.captures.push_back({capture.step, static_cast<std::size_t>(capture.body),
                                static_cast<std::size_t>(capture.attractor)});
    }
    return run;
}

}  // namespace orbits
