// Reproducible random input for the motion tests.
#pragma once

#include <random>

#include "vorn_kernel.hpp"

namespace vorn::motion_test {

class RandomPoints {
public:
    explicit RandomPoints(unsigned seed) : engine_(seed) {}

    // Uniform on S³.
    vorn_kernel::HomVec4 unitPoint();
    // Each component uniform in [−1, 1).
    vorn_kernel::HomVec4 vector();
    // Uniform in [lo, hi).
    double uniform(double lo, double hi);

private:
    std::mt19937_64 engine_;
};

}  // namespace vorn::motion_test
