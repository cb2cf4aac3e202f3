// State arithmetic: a GeodesicState doubles as an eight-component vector, so the Runge–Kutta
// stages can add and scale states and derivatives alike.
#include <cstddef>

#include "vorn_geodesic.hpp"

namespace vorn_geodesic {

GeodesicState addState(const GeodesicState& a, const GeodesicState& b) {
    GeodesicState result{};
    for (std::size_t i = 0; i < 4; ++i) {
        result.q[i] = a.q[i] + b.q[i];
        result.v[i] = a.v[i] + b.v[i];
    }
    return result;
}

GeodesicState scaleState(const GeodesicState& s, double k) {
    GeodesicState result{};
    for (std::size_t i = 0; i < 4; ++i) {
        result.q[i] = k * s.q[i];
        result.v[i] = k * s.v[i];
    }
    return result;
}

}  // namespace vorn_geodesic
