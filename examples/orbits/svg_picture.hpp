// The SVG picture of a run: the body paths in stereographic projection, the attractors and
// their antipodes, contacts and captures, and a caption.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <vorn/vorn_physics.hpp>

#include "page_text.hpp"
#include "sketch.hpp"

namespace orbits {

void writeSvg(std::ostream& out, const TrajectorySketch& sketch,
              const std::vector<vorn_physics::VornBody>& attractors, const PictureCaption& caption);

}  // namespace orbits
