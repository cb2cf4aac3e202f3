#pragma once
// The elementary functions the kernel and the world compute with. By default the correctly
// rounded ones (correctly_rounded.hpp): the same bits on every target. A build configured with
// -DVORN_PLATFORM_MATH=ON takes <cmath>'s instead, whose bits are the platform's
// (docs/portability.md, "Correctly rounded functions").
#ifdef VORN_PLATFORM_MATH
#include <cmath>
#else
#include "vorn_math/correctly_rounded.hpp"
#endif

namespace vorn::elementary {

#ifdef VORN_PLATFORM_MATH
inline double sin(double x) { return std::sin(x); }
inline double cos(double x) { return std::cos(x); }
inline double acos(double x) { return std::acos(x); }
inline double atan2(double y, double x) { return std::atan2(y, x); }
inline double pow(double x, double y) { return std::pow(x, y); }
#else
inline double sin(double x) { return vorn::math::sin(x); }
inline double cos(double x) { return vorn::math::cos(x); }
inline double acos(double x) { return vorn::math::acos(x); }
inline double atan2(double y, double x) { return vorn::math::atan2(y, x); }
inline double pow(double x, double y) { return vorn::math::pow(x, y); }
#endif

}  // namespace vorn::elementary
