// The adaptive integrator's memory between steps (World::setAdaptiveTolerance, Integrator::
// adaptive): the polynomial coefficients of each moved body's acceleration over the last step,
// which predict the next step's, the step size the error control chose, and its counts.
// Allocated on the first adaptive step: about 70 doubles a body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn_world::detail {

struct WorldState;

struct AdaptiveMemory {
    double tolerance = 1e-10;  // the bound on |b6|/|a| a step may leave, as a fraction of its acceleration
    double next_step = 0.0;    // the step the control chose (0: none yet)
    std::uint64_t step_limit = std::uint64_t{1} << 30;  // steps one call may take
    // The predictions hold for the bodies as they were after the last adaptive step, when the
    // state's revision is still the one seen then.
    bool warm = false;
    bool predicted = false;  // b was shifted from the last step (e holds that prediction)
    std::uint64_t seen_revision = 0;
    std::size_t padded = 0;
    // Per body and component: b, the prediction e it started from and g (each 7 × 4 × padded),
    // the low parts of q and v when the World keeps none (8 × padded), the columns of an
    // evaluation (24 × padded) and per-body maxima (3 × padded).
    std::vector<double> b, e, g, lows, work, maxima;
    std::uint64_t steps = 0, rejected = 0, evaluations = 0;
};

// What adaptiveAdvance did: the steps accepted, the time they covered, and whether it stopped
// short because the steps had to fall below 2^-52 of dt (stalled) or reached the step limit.
struct AdaptiveResult {
    std::uint64_t steps = 0;
    double done = 0.0;
    bool stalled = false;
    bool limited = false;
};

// Advances every moved body by dt (of either sign) in adaptive steps, the last one shortened to
// land on dt exactly, under the forces accumulated (constant over dt, then cleared).
AdaptiveResult adaptiveAdvance(WorldState& s, double dt);

}  // namespace vorn_world::detail
