// A small, fully specified pseudo-random generator, so that a seed gives the same scene with
// every compiler and standard library (the standard distributions do not promise that).
// Its own copy, not the tests' twin: the example builds from the installed package alone.
#pragma once

#include <cstdint>

namespace orbits {

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        state_ += 0x9e3779b97f4a7c15ULL;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1): the top 53 bits, scaled exactly.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }

    // Uniform in [lo, hi).
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

private:
    std::uint64_t state_;
};

}  // namespace orbits
