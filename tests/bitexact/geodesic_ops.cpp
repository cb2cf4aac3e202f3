#include <memory_resource>
#include <span>

#include "bit_line.hpp"
#include "ops.hpp"

namespace vorn::bitexact {

namespace {

using vorn_geodesic::GeodesicState;

void printStateOps(const Battery& b, BitLine& line) {
    for (std::size_t i = 0; i + 1 < b.pairs.size(); i += 2) {
        const GeodesicState s = GeodesicState::fromHomVec4(b.pairs[i].first, b.pairs[i].second);
        const GeodesicState t = GeodesicState::fromHomVec4(b.pairs[i + 1].first, b.pairs[i + 1].second);
        const GeodesicState from_arrays = GeodesicState::init(s.q, t.v);
        line.start("init", i).state(from_arrays).vec(from_arrays.pos()).vec(from_arrays.vel()).end();
        line.start("addState", i).state(vorn_geodesic::addState(s, t)).end();
        const double k = b.scalars[i % b.scalars.size()];
        line.start("scaleState", i).f64(k).state(vorn_geodesic::scaleState(s, k)).end();
        line.start("renormalizeOnS3", i).state(vorn_geodesic::renormalizeOnS3(s)).end();
        line.start("freeGeodesicRhs", i).state(vorn_geodesic::freeGeodesicRhs(k, s)).end();
    }
    for (std::size_t i = 0; i < b.vectors.size(); ++i) {
        line.start("orthogonalVelocity", i).vec(vorn_geodesic::orthogonalVelocity(b.vectors[i])).end();
    }
    for (std::size_t i = 0; i < b.scalars.size(); ++i) {
        line.start("fsDistanceAlongGeodesic", i)
            .f64(vorn_geodesic::fsDistanceAlongGeodesic(b.scalars[i]))
            .end();
    }
}

void printGeodesics(const Battery& b, BitLine& line) {
    for (std::size_t i = 0; i < b.points.size(); ++i) {
        const HomVec4 p = b.points[i];
        const HomVec4 v = b.tangents[i];
        for (std::size_t k = i % 5; k < b.scalars.size(); k += 23) {
            const double t = b.scalars[k];
            line.start("geodesicExact", i).f64(t).vec(vorn_geodesic::geodesicExact(p, v, t)).end();
            line.start("geodesicScaled", i).f64(t).vec(vorn_geodesic::geodesicScaled(p, v, t)).end();
            const HomVec4 w = b.tangents[(i + 1) % b.tangents.size()];
            line.start("parallelTransport", i).f64(t).vec(vorn_geodesic::parallelTransport(p, v, w, t)).end();
        }
        line.start("expMap", i).vec(vorn_geodesic::expMap(p, v)).end();
        line.start("expMapUnnormalised", i).vec(vorn_geodesic::expMap(b.vectors[i], v)).end();
        const GeodesicState y = GeodesicState::fromHomVec4(p, v);
        for (const double step : {0.01, -0.25, 1.0}) {
            const double h = opaque(step);
            line.start("rk4Step", i)
                .f64(h)
                .state(vorn_geodesic::rk4Step(vorn_geodesic::freeGeodesicRhs, 0.0, y, h))
                .end();
        }
    }
    for (std::size_t i = 0; i < b.pairs.size(); ++i) {
        line.start("logMap", i).vec(vorn_geodesic::logMap(b.pairs[i].first, b.pairs[i].second)).end();
    }
}

void printIntegrations(const Battery& b, BitLine& line) {
    std::pmr::memory_resource& memory = *std::pmr::new_delete_resource();
    for (std::size_t i = 0; i < b.points.size(); i += 4) {
        const GeodesicState y0 = GeodesicState::fromHomVec4(b.points[i], b.tangents[i]);
        const double t1 = b.scalars[(7 * i) % b.scalars.size()];
        const std::uint32_t n_steps = static_cast<std::uint32_t>(i % 9);
        const std::span<GeodesicState> states =
            vorn_geodesic::rk4Integrate(vorn_geodesic::freeGeodesicRhs, 0.0, t1, y0, n_steps, memory);
        for (std::size_t k = 0; k < states.size(); ++k) {
            line.start("rk4Integrate", i).f64(t1).u64(k).state(states[k]).end();
        }
        memory.deallocate(states.data(), states.size_bytes(), alignof(GeodesicState));
    }
}

}  // namespace

void printGeodesicOps(const Battery& battery, std::string& out) {
    BitLine line(out);
    printStateOps(battery, line);
    printGeodesics(battery, line);
    printIntegrations(battery, line);
}

}  // namespace vorn::bitexact
