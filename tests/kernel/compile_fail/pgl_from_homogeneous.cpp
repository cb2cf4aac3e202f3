// Compiled by CTest with one VORN_CASE_* macro defined: the regular case must build, the others
// must stop the build with a diagnostic that names the problem.
#include <limits>

#include "vorn_kernel.hpp"

using vorn_kernel::pglFromHomogeneous;

#if defined(VORN_CASE_REGULAR)
constexpr auto m = pglFromHomogeneous({{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 5}});
static_assert(m.det() == 120.0);
#elif defined(VORN_CASE_SINGULAR)
// The third row is twice the first: determinant exactly 0.
constexpr auto m = pglFromHomogeneous({{1, 2, 3, 4}, {0, 1, 0, 0}, {2, 4, 6, 8}, {0, 0, 0, 1}});
#elif defined(VORN_CASE_ZERO)
constexpr auto m = pglFromHomogeneous({{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}});
#elif defined(VORN_CASE_NAN)
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr auto m = pglFromHomogeneous({{nan, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
#else
#error "define one VORN_CASE_* macro"
#endif

int main() { return m.get(3, 3) == 0.0 ? 1 : 0; }
