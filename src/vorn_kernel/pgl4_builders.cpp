// Builders of the common projective maps. Entries are listed in storage (column-major) order,
// so the translation sits in the last four values.
#include <cmath>

#include "vorn_kernel.hpp"
#include "vorn_math/functions.hpp"

namespace vorn_kernel {

PGL4 pglTranslate(double tx, double ty, double tz) {
    return PGL4::init({1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, tx, ty, tz, 1.0});
}

PGL4 pglScale(double sx, double sy, double sz) {
    return PGL4::init({sx, 0.0, 0.0, 0.0, 0.0, sy, 0.0, 0.0, 0.0, 0.0, sz, 0.0, 0.0, 0.0, 0.0, 1.0});
}

PGL4 pglRotateZ(double angle) {
    const double c = vorn::elementary::cos(angle);
    const double s = vorn::elementary::sin(angle);
    // −s is an exact negation: pglRotateZ(0) holds −0 at row 0, column 1.
    return PGL4::init({c, s, 0.0, 0.0, -s, c, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0});
}

}  // namespace vorn_kernel
