// Command-line options of the orbits example.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include <vorn/vorn_world.hpp>

namespace orbits {

struct Options {
    int bodies = 36;
    int attractors = 3;
    std::uint64_t steps = 4000;
    double dt = 0.005;
    double damping = 0.03;
    std::uint64_t seed = 1;
    vorn_world::Integrator integrator = vorn_world::Integrator::kdk;
    std::uint64_t every = 5;  // write every n-th step to the CSV (the first and last always)
    std::optional<std::string> csv_path;
    std::optional<std::string> svg_path;
    std::optional<std::string> html_path;  // the animated viewer
};

// The longest time step that resolves close passes: in the runs measured (README.md), no
// body skipped past an attractor's capture distance at steps up to this, with a margin.
// Longer steps, up to 0.5, are accepted with a warning. The first-order compat integrator
// needs shorter steps than kdk and yoshida4.
inline constexpr double LARGEST_SOUND_DT = 0.03;
inline constexpr double LARGEST_SOUND_DT_COMPAT = 0.02;

constexpr double largestSoundDt(vorn_world::Integrator integrator) {
    return integrator == vorn_world::Integrator::compat ? LARGEST_SOUND_DT_COMPAT : LARGEST_SOUND_DT;
}

struct HelpRequested {};

struct UsageError {
    std::string message;
};

using ParseResult = std::variant<Options, HelpRequested, UsageError>;

ParseResult parseOptions(int argc, const char* const* argv);

std::string usageText(const std::string& program_name);

}  // namespace orbits
