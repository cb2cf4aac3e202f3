// The animated viewer of a run: one self-contained HTML file (data and script inline, no
// network access, no external library) that plays the bodies' motion with fading trails,
// direction, start and end marks, contacts and captures as they happen, play/pause, scrub,
// speed, a choice of projection, zoom and pan, a legend and the run's parameters. Frames count
// from 0 as steps do; "#frame=N" after the file name opens the page at frame N.
#pragma once

#include <ostream>
#include <vector>

#include <vorn/vorn_physics.hpp>

#include "movie_frames.hpp"
#include "svg_picture.hpp"

namespace orbits {

void writeHtmlMovie(std::ostream& out, const MovieFrames& frames,
                    const std::vector<vorn_physics::VornBody>& attractors, const PictureCaption& caption);

}  // namespace orbits
