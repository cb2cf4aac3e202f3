#include "random_points.hpp"

namespace vorn::motion_test {

vorn_kernel::HomVec4 RandomPoints::unitPoint() {
    std::normal_distribution<double> normal;
    const vorn_kernel::HomVec4 v{normal(engine_), normal(engine_), normal(engine_), normal(engine_)};
    return v.normalize();
}

vorn_kernel::HomVec4 RandomPoints::vector() {
    return {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
}

double RandomPoints::uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(engine_);
}

}  // namespace vorn::motion_test
