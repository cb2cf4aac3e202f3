// The animated viewer of a run: one self-contained HTML file (data and script inline, no
// network access, no external library) that plays the bodies' motion with fading trails,
// direction, start and end marks, contacts and captures as they happen, play/pause, scrub,
// speed, a choice of projection, zoom and pan, a legend and the run's parameters. Frames count
// from 0 as steps do; "#frame=N" after the file name opens the page at frame N.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

#include <vorn/vorn_kernel.hpp>

#include "page_text.hpp"

namespace orbits {

// Something that happened at a step: a contact between bodies `first` and `second`, or the
// capture of body `first` by attractor `second`.
struct MovieEvent {
    std::uint64_t step;
    std::size_t first;
    std::size_t second;
};

// What the page shows: the position of every body in each frame, the fixed attractors, and
// the contacts and captures.
struct MovieRun {
    std::size_t bodies = 0;
    std::vector<std::uint64_t> steps;             // the step of each frame, not decreasing
    std::vector<vorn_kernel::HomVec4> positions;  // body i in frame f at [f·bodies + i]
    std::vector<vorn_kernel::HomVec4> attractors;
    std::vector<MovieEvent> contacts;
    std::vector<MovieEvent> captures;
};

// Throws std::invalid_argument, writing nothing, unless the run has a frame, one position per
// body and frame, steps that do not decrease, and events that name its bodies and attractors.
void writeHtmlMovie(std::ostream& out, const MovieRun& run, const PictureCaption& caption);

}  // namespace orbits
