// The potential of the softened law in double-double arithmetic, for the diagnostics: per unit
// mass of a body at p, from a source s of gravitational parameter gm,
//   Φ = −gm·atan(√(ε/(1+ε))·cot d) / √(ε(1+ε)) = −gm·cot d·F(x) / (1+ε),
// with x = √(ε/(1+ε))·cot d and F(x) = atan(x)/x (1 at x = 0, so ε = 0 gives −gm·cot d). The
// gradient of Φ is minus the law's acceleration; Φ is zero at d = π/2. cot d is |p·s| / |p∧s|
// from exact products, so it holds its relative accuracy at any distance and for p and s of any
// length.
#pragma once

#include "vorn_world.hpp"
#include "vorn_world/double_double.hpp"

namespace vorn_world::detail {

// What Φ needs of the softening, formed once.
struct Softening {
    double epsilon;
    DD ratio_root;  // √(ε/(1+ε))
    DD one_plus;    // 1 + ε
    DD depth_root;  // √(ε(1+ε))
};
Softening softeningOf(double epsilon);

// Φ(p, s) for the given gm (−∞ for ε = 0 and p = ±s).
DD potential(HomVec4 p, HomVec4 s, const DD& gm, const Softening& softening);

}  // namespace vorn_world::detail
