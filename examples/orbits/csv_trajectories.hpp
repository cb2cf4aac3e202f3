// The trajectories as CSV: one row per body and recorded step, with full precision. The last
// column, the same in every row of a step, is the world's total energy at that step.
#pragma once

#include <ostream>

#include "simulation.hpp"

namespace orbits {

inline constexpr const char* CSV_HEADER = "step,time,body,x,y,z,w,vx,vy,vz,vw,state,energy";

void writeCsvHeader(std::ostream& out);

// Writes one row for every body in its current state.
void writeCsvRows(std::ostream& out, const Simulation& simulation);

}  // namespace orbits
