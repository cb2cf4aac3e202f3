// World::step and World::integrate: the integrators' dispatch, yoshida4's weights, the clock.
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "vorn_world.hpp"
#include "vorn_world/adaptive.hpp"
#include "vorn_world/compat_step.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/kick_drift_kick.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

void World::step(double dt, Integrator integrator) {
    detail::WorldState& s = *state_;
    detail::checkMagnitude("dt", dt);
    std::uint64_t steps = 1;
    switch (integrator) {
        case Integrator::adaptive: {
            const detail::AdaptiveResult result = detail::adaptiveAdvance(s, dt);
            s.advanceTime(result.done, result.steps);
            if (result.stalled || result.limited) {
                const std::string why = result.stalled
                                            ? "the adaptive steps fell below 2^-52 of dt = "
                                            : "the adaptive steps reached their limit within dt = ";
                throw std::runtime_error("vorn_world: " + why + detail::shown(dt) + " after " +
                                         detail::shown(result.done) + " of it; the bodies are at time " +
                                         detail::shown(s.time));
            }
            return;
        }
        case Integrator::compat:
            detail::compatStep(s, dt);
            break;
        case Integrator::kdk:
            detail::kickDriftKick(s, std::array<double, 1>{dt}, false);
            break;
        case Integrator::yoshida4: {
            // 2^(1/3) correctly rounded, as a literal: compilers that fold std::cbrt(2.0) and
            // the library's own cbrt need not agree in the last bit.
            constexpr double cbrt2 = 1.2599210498948731648;
            const double w1 = 1.0 / (2.0 - cbrt2);
            const double w0 = -cbrt2 / (2.0 - cbrt2);
            // With the positions' low parts: its orbits stay round enough for their rounding to
            // repeat from step to step (docs/world.md, "Rounding that repeats").
            detail::kickDriftKick(s, std::array<double, 3>{w1 * dt, w0 * dt, w1 * dt}, true);
            break;
        }
        default:
            throw std::invalid_argument("vorn_world: unknown integrator " +
                                        std::to_string(static_cast<unsigned>(integrator)));
    }
    ++s.revision;  // moved other than by the adaptive integrator
    s.advanceTime(dt, steps);
}

std::uint64_t World::integrate(double t_end, Integrator integrator, double dt, std::uint64_t max_steps) {
    detail::checkMagnitude("t_end", t_end);
    detail::checkMagnitude("dt", dt);
    if (!(dt > 0.0))
        throw std::invalid_argument("vorn_world: integrate needs dt > 0; got " + detail::shown(dt));
    detail::WorldState& s = *state_;
    if ((t_end - s.time) / dt > 0x1.0p53) {
        throw std::invalid_argument("vorn_world: integrate to " + detail::shown(t_end) + " in steps of " +
                                    detail::shown(dt) + " would take more than 2^53 steps");
    }
    std::uint64_t taken = 0;
    for (; s.time < t_end && taken < max_steps; ++taken) {
        // The remaining time, with the low part of the clock: the last step lands on t_end.
        const double remaining = (t_end - s.time) - s.time_low;
        if (remaining <= dt * (1.0 + 0x1.0p-40)) {
            if (remaining > 0.0) step(remaining, integrator);
            s.time = t_end;
            s.time_low = 0.0;
            return taken + 1;
        }
        step(dt, integrator);
    }
    return taken;
}

}  // namespace vorn_world
