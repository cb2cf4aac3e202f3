// orbits: a worked example of the kernel. A few dozen bodies on the unit 3-sphere circle two
// or three fixed attractors under softened gravity with light damping; the run is written
// as CSV, drawn as an SVG picture in stereographic projection, and played by an HTML viewer.
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>

#include "csv_trajectories.hpp"
#include "interrupt_cleanup.hpp"
#include "movie_frames.hpp"
#include "options.hpp"
#include "output_set.hpp"
#include "progress_bar.hpp"
#include "scene.hpp"
#include "simulation.hpp"
#include "sketch.hpp"
#include "svg_picture.hpp"
#include "text.hpp"

namespace {

constexpr int EXIT_RUN_FAILED = 1;
constexpr int EXIT_BAD_ARGUMENTS = 2;
constexpr std::size_t PICTURE_POINT_BUDGET = 16000;
constexpr std::size_t MOVIE_POINT_BUDGET = 40000;

int fail(const std::string& message) {
    std::fprintf(stderr, "orbits: %s\n", message.c_str());
    return EXIT_RUN_FAILED;
}

int finishStandardOutput() {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return 0;
    return fail(orbits::cat("cannot write to standard output: ", std::strerror(errno)));
}

std::string counted(std::uint64_t n, const char* one, const char* many) {
    return orbits::cat(std::to_string(n), ' ', n == 1 ? one : many);
}

std::string describe(const orbits::Options& options) {
    char rest[160];
    std::snprintf(rest, sizeof rest, " of %g, damping %g, seed %" PRIu64, options.dt, options.damping,
                  options.seed);
    return orbits::cat(counted(static_cast<std::uint64_t>(options.bodies), "body", "bodies"), ", ",
                       counted(options.steps, "step", "steps"), rest);
}

std::string unstableRunMessage(const orbits::Simulation& simulation, std::size_t body) {
    char when[80];
    std::snprintf(when, sizeof when, " (t = %g)", simulation.time());
    return orbits::cat("the run became unstable at step ", std::to_string(simulation.stepsDone()), when,
                       ": body ", std::to_string(body),
                       " has a position or velocity that is not finite or too large to step; no file was "
                       "replaced. A shorter "
                       "--dt keeps the run sound (see --help).");
}

int run(const orbits::Options& options) {
    orbits::removeTemporaryFilesOnInterrupt();
    if (options.dt > orbits::largestSoundDt(options.integrator)) {
        std::fprintf(stderr,
                     "orbits: warning: --dt %g is longer than %g, the longest step that resolves close "
                     "passes; bodies may skip past an attractor and gain speed, and the run may become "
                     "unstable\n",
                     options.dt, orbits::largestSoundDt(options.integrator));
    }
    // Opened before the run, so a bad path fails at once, not after the simulation.
    auto outputs = orbits::openOutputs(
        {{"--csv", options.csv_path}, {"--svg", options.svg_path}, {"--html", options.html_path}});
    if (!outputs.error.empty()) {
        fail(outputs.error);
        return outputs.conflict ? EXIT_BAD_ARGUMENTS : EXIT_RUN_FAILED;
    }
    const auto& csv = outputs.files[0];
    const auto& svg = outputs.files[1];
    const auto& html = outputs.files[2];
    std::string error;
    if (csv) orbits::writeCsvHeader(csv->stream());

    orbits::SceneConfig scene;
    scene.bodies = options.bodies;
    scene.attractors = options.attractors;
    scene.seed = options.seed;
    orbits::SimulationConfig config;
    config.dt = options.dt;
    config.damping = options.damping;
    config.integrator = options.integrator;
    config.G = scene.G;
    config.attractor_mass = scene.attractor_mass;

    auto attractors = orbits::makeAttractors(options.attractors);
    auto bodies = orbits::makeBodies(scene, attractors);
    orbits::Simulation simulation(config, std::move(attractors), std::move(bodies));
    orbits::TrajectorySketch sketch(simulation.bodies().size(), options.steps, PICTURE_POINT_BUDGET);
    orbits::MovieFrames movie(simulation.bodies().size(), options.steps, html ? MOVIE_POINT_BUDGET : 0);

    // False once the CSV cannot be written, so a full disk stops the run early.
    const auto observe = [&] {
        sketch.record(simulation);
        if (html) movie.record(simulation);
        const std::uint64_t step = simulation.stepsDone();
        if (csv && (step % options.every == 0 || step == options.steps)) {
            orbits::writeCsvRows(csv->stream(), simulation);
            return csv->healthy(error);
        }
        return true;
    };
    orbits::ProgressBar progress(options.steps);
    const auto stop = [&](const std::string& message) {
        progress.finish();
        return fail(message);
    };
    if (!observe()) return stop(error);
    for (std::uint64_t step = 0; step < options.steps; ++step) {
        simulation.step();
        if (const auto body = simulation.unstableBody()) return stop(unstableRunMessage(simulation, *body));
        if (!observe()) return stop(error);
        progress.update(simulation.stepsDone());
    }
    progress.finish();

    const std::string title = orbits::cat(
        counted(static_cast<std::uint64_t>(options.bodies), "body", "bodies"), " around ",
        counted(static_cast<std::uint64_t>(options.attractors), "attractor", "attractors"), " on S\u00b3");
    if (svg) {
        orbits::writeSvg(
            svg->stream(), sketch, simulation.attractors(),
            {title, orbits::cat(describe(options), "; stereographic projection from (0, 0, 0, \u22121)")});
        if (!svg->healthy(error)) return fail(error);
    }
    if (html)
        orbits::writeHtmlMovie(html->stream(), movie.run(simulation.attractors()),
                               {title, describe(options)});
    // Every output is complete before any replaces an earlier file.
    if (!orbits::commitOutputs(outputs.files, error)) return fail(error);

    std::size_t captured = 0;
    for (const auto& body : simulation.bodies()) captured += body.active ? 0 : 1;
    std::printf("%s: %s, %zu of %d captured\n", describe(options).c_str(),
                counted(sketch.contactCount(), "contact", "contacts").c_str(), captured, options.bodies);
    return finishStandardOutput();
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed = orbits::parseOptions(argc, argv);
    if (std::holds_alternative<orbits::HelpRequested>(parsed)) {
        std::fputs(orbits::usageText("orbits").c_str(), stdout);
        return finishStandardOutput();
    }
    if (const auto* usage = std::get_if<orbits::UsageError>(&parsed)) {
        std::fprintf(stderr, "orbits: %s\nTry 'orbits --help' for the options.\n", usage->message.c_str());
        return EXIT_BAD_ARGUMENTS;
    }
    // A FIFO whose reader went away is then a write error with a message, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    return run(std::get<orbits::Options>(parsed));
}
