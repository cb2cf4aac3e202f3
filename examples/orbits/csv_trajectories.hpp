// The trajectories as CSV: one row per body and recorded step, with full precision.
#pragma once

#include <ostream>

#include "simulation.hpp"

namespace orbits {

inline constexpr const char* CSV_HEADER = "step,time,body,x,y,z,w,vx,vy,vz,vw,state";

void writeCsvHeader(std::ostream& out);

// Writes one row for every body in its current state.
void writeCsvRows(std::ostream& out, const Simulation& simulation);

}  // namespace orbits
