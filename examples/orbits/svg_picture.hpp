// The SVG picture of a run: the body paths in stereographic projection, the attractors and
// their antipodes, contacts and captures, and a caption.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <vorn/vorn_physics.hpp>

#include "sketch.hpp"

namespace orbits {

struct PictureCaption {
    std::string title;
    std::string subtitle;
};

void writeSvg(std::ostream& out, const TrajectorySketch& sketch,
              const std::vector<vorn_physics::VornBody>& attractors, const PictureCaption& caption);

// Text with the five XML special characters replaced by entities.
std::string xmlEscaped(const std::string& text);

}  // namespace orbits
