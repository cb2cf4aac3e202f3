#include "csv_trajectories.hpp"

#include <cinttypes>
#include <cstdio>

namespace orbits {

namespace {

const char* stateName(BodyState state) {
    switch (state) {
        case BodyState::free:
            return "free";
        case BodyState::contact:
            return "contact";
        case BodyState::captured:
            return "captured";
    }
    return "free";
}

}  // namespace

void writeCsvHeader(std::ostream& out) { out << CSV_HEADER << '\n'; }

void writeCsvRows(std::ostream& out, const Simulation& simulation) {
    const auto& bodies = simulation.bodies();
    // 17 significant digits: every double reads back exactly.
    char row[512];
    const double energy = simulation.energy();
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const auto& p = bodies[i].position;
        const auto& v = bodies[i].velocity;
        const int length =
            std::snprintf(row, sizeof row,
                          "%" PRIu64 ",%.17g,%zu,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%s,%.17g\n",
                          simulation.stepsDone(), simulation.time(), i, p.x, p.y, p.z, p.w, v.x, v.y, v.z,
                          v.w, stateName(simulation.state(i)), energy);
        out.write(row, length);
    }
}

}  // namespace orbits
