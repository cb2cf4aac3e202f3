#pragma once
// Correctly rounded elementary functions: each returns the double nearest to the exact value
// (ties to even) for every double argument, with the special values of C's Annex F (NaN, ±inf,
// ±0 and their signs). The bits are the same on every target: only IEEE +, -, *, / and sqrt on
// doubles and integer arithmetic are used. errno and the floating-point flags are not part of
// the contract. docs/portability.md, "Correctly rounded functions", has the method and proof.

namespace vorn::math {

double sin(double x);
double cos(double x);
double acos(double x);
double atan(double x);
double atan2(double y, double x);
double pow(double x, double y);

}  // namespace vorn::math
