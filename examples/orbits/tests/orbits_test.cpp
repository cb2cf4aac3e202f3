// Tests of the orbits example's own parts: options, random numbers, the scene, the
// simulation loop, the projection and the output files.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "csv_trajectories.hpp"
#include "options.hpp"
#include "output_file.hpp"
#include "projection.hpp"
#include "scene.hpp"
#include "simulation.hpp"
#include "sketch.hpp"
#include "splitmix64.hpp"
#include "svg_picture.hpp"
#include "text.hpp"

namespace orbits {
namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

// The components' bit patterns: equal only for the same numbers with the same signs of zero.
std::array<std::uint64_t, 4> bitsOf(HomVec4 v) { return std::bit_cast<std::array<std::uint64_t, 4>>(v); }

ParseResult parse(std::vector<const char*> args) {
    args.insert(args.begin(), "orbits");
    return parseOptions(static_cast<int>(args.size()), args.data());
}

std::string usageError(std::vector<const char*> args) {
    const auto result = parse(std::move(args));
    const auto* error = std::get_if<UsageError>(&result);
    return error ? error->message : std::string("<accepted>");
}

TEST(OrbitsOptions, DefaultsAndEveryOption) {
    const auto defaults = std::get<Options>(parse({}));
    EXPECT_EQ(defaults.bodies, 36);
    EXPECT_FALSE(defaults.csv_path.has_value());

    const auto options = std::get<Options>(
        parse({"--bodies", "5", "--steps=10", "--dt", "0.001", "--seed", "18446744073709551615",
               "--attractors", "2", "--damping", "0", "--every", "3", "--csv", "a.csv", "--svg=b.svg"}));
    EXPECT_EQ(options.bodies, 5);
    EXPECT_EQ(options.steps, 10u);
    EXPECT_EQ(options.dt, 0.001);
    EXPECT_EQ(options.seed, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(options.attractors, 2);
    EXPECT_EQ(options.damping, 0.0);
    EXPECT_EQ(options.every, 3u);
    EXPECT_EQ(options.csv_path, "a.csv");
    EXPECT_EQ(options.svg_path, "b.svg");
    EXPECT_TRUE(std::holds_alternative<HelpRequested>(parse({"--bodies", "3", "--help"})));
}

TEST(OrbitsOptions, RejectsBadArgumentsWithAClearMessage) {
    EXPECT_EQ(usageError({"--frobnicate"}), "unknown option '--frobnicate'");
    EXPECT_EQ(usageError({"stray"}), "unexpected argument 'stray'");
    EXPECT_EQ(usageError({"--steps"}), "option --steps needs a value");
    EXPECT_EQ(usageError({"--bodies", "0"}),
              "option --bodies expects a whole number from 1 to 2000, got '0'");
    for (const char* bad : {"2001", "5x", "", "-3", " 4", "1e3"}) {
        EXPECT_NE(usageError({"--bodies", bad}), "<accepted>") << bad;
    }
    for (const char* bad : {"0", "-0.1", "nan", "inf", "0.6", "1/2"}) {
        EXPECT_NE(usageError({"--dt", bad}), "<accepted>") << bad;
    }
    EXPECT_NE(usageError({"--steps", "-1"}), "<accepted>");
    EXPECT_NE(usageError({"--steps", "100000001"}), "<accepted>");
    EXPECT_NE(usageError({"--seed", "18446744073709551616"}), "<accepted>");
    EXPECT_NE(usageError({"--attractors", "4"}), "<accepted>");
    EXPECT_NE(usageError({"--every", "0"}), "<accepted>");
    EXPECT_NE(usageError({"--damping", "-1"}), "<accepted>");
    EXPECT_NE(usageError({"--csv="}), "<accepted>");
    EXPECT_EQ(usageError({"--csv", "out", "--svg", "out"}), "--csv and --svg name the same file 'out'");
}

TEST(OrbitsRandom, SplitMix64GivesTheReferenceSequence) {
    SplitMix64 rng(0);
    EXPECT_EQ(rng.next(), 0xe220a8397b1dcdafULL);
    EXPECT_EQ(rng.next(), 0x6e789e6aa1b965f4ULL);
    EXPECT_EQ(rng.next(), 0x06c45d188009454fULL);
    SplitMix64 uniform(42);
    for (int i = 0; i < 1000; ++i) {
        const double u = uniform.uniform();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
    }
}

TEST(OrbitsScene, SameSeedSameSceneAndBodiesStartOnTheSphereInOrbit) {
    const auto attractors = makeAttractors(3);
    ASSERT_EQ(attractors.size(), 3u);
    SceneConfig config;
    config.bodies = 30;
    const auto first = makeBodies(config, attractors);
    const auto again = makeBodies(config, attractors);
    config.seed = 2;
    const auto other = makeBodies(config, attractors);
    ASSERT_EQ(first.size(), 30u);
    bool any_difference = false;
    for (std::size_t i = 0; i < first.size(); ++i) {
        const VornBody& body = first[i];
        EXPECT_EQ(bitsOf(body.position), bitsOf(again[i].position));
        EXPECT_EQ(bitsOf(body.velocity), bitsOf(again[i].velocity));
        any_difference = any_difference || body.position.x != other[i].position.x;
        EXPECT_NEAR(body.position.norm(), 1.0, 1e-15);
        EXPECT_NEAR(HomVec4::dot(body.position, body.velocity), 0.0, 1e-15);
        const double d = vorn_kernel::fsDistance(body.position, attractors[i % 3].position);
        EXPECT_GE(d, config.min_orbit_distance - 1e-12);
        EXPECT_LE(d, config.max_orbit_distance + 1e-12);
    }
    EXPECT_TRUE(any_difference);
}

Simulation smallSimulation(std::uint64_t seed) {
    SceneConfig scene;
    scene.bodies = 12;
    scene.seed = seed;
    auto attractors = makeAttractors(2);
    auto bodies = makeBodies(scene, attractors);
    SimulationConfig config;
    config.dt = 0.005;
    return Simulation(config, std::move(attractors), std::move(bodies));
}

TEST(OrbitsSimulation, RunsAreReproducibleAndStayOnTheSphere) {
    Simulation a = smallSimulation(7);
    Simulation b = smallSimulation(7);
    for (int step = 0; step < 300; ++step) {
        a.step();
        b.step();
    }
    EXPECT_EQ(a.stepsDone(), 300u);
    EXPECT_DOUBLE_EQ(a.time(), 1.5);
    for (std::size_t i = 0; i < a.bodies().size(); ++i) {
        // Field by field: the record has padding, whose bytes mean nothing.
        const VornBody& x = a.bodies()[i];
        const VornBody& y = b.bodies()[i];
        EXPECT_EQ(bitsOf(x.position), bitsOf(y.position)) << "body " << i;
        EXPECT_EQ(bitsOf(x.velocity), bitsOf(y.velocity)) << "body " << i;
        EXPECT_EQ(x.active, y.active) << "body " << i;
        EXPECT_NEAR(a.bodies()[i].position.norm(), 1.0, 1e-15);
    }
}

TEST(OrbitsSimulation, ABodyReachingAnAttractorStopsThere) {
    auto attractors = makeAttractors(1);
    const HomVec4 q = attractors[0].position;
    // Just inside the capture distance, falling in.
    const HomVec4 near = HomVec4::init(q.x, q.y, q.z + 0.02, q.w).normalize();
    Simulation simulation({}, std::move(attractors), {VornBody::init(near, HomVec4::zero(), 1.0)});
    simulation.step();
    ASSERT_EQ(simulation.newCaptures().size(), 1u);
    EXPECT_EQ(simulation.state(0), BodyState::captured);
    const VornBody& body = simulation.bodies()[0];
    EXPECT_FALSE(body.active);
    EXPECT_EQ(body.velocity.norm(), 0.0);
    const HomVec4 resting = body.position;
    simulation.step();
    EXPECT_TRUE(simulation.newCaptures().empty());
    EXPECT_EQ(bitsOf(resting), bitsOf(simulation.bodies()[0].position));
}

TEST(OrbitsSimulation, AContactIsReportedWhenItBeginsOnly) {
    // Two bodies side by side far from the only attractor, moving together.
    std::vector<VornBody> attractors{VornBody::static_(HomVec4::init(0, 0, 0, 1))};
    const HomVec4 v = HomVec4::init(0, 0.01, 0, 0);
    std::vector<VornBody> bodies{VornBody::init(HomVec4::init(1, 0, 0, 0), v, 1.0),
                                 VornBody::init(HomVec4::init(1, 0, 0.005, 0), v, 1.0),
                                 VornBody::init(HomVec4::init(0, 0, 1, 0), v, 1.0)};
    Simulation simulation({}, std::move(attractors), std::move(bodies));
    simulation.step();
    ASSERT_EQ(simulation.newContacts().size(), 1u);
    EXPECT_EQ(simulation.newContacts()[0].first, 0);
    EXPECT_EQ(simulation.newContacts()[0].second, 1);
    EXPECT_EQ(simulation.state(0), BodyState::contact);
    EXPECT_EQ(simulation.state(2), BodyState::free);
    simulation.step();
    EXPECT_TRUE(simulation.newContacts().empty());
    EXPECT_EQ(simulation.state(1), BodyState::contact);
}

TEST(OrbitsProjection, ViewTurnsTiltsAndScales) {
    View view;
    view.scale = 100;
    view.centre_x = 450;
    view.centre_y = 450;
    EXPECT_DOUBLE_EQ(view.toPage({1, 0, 0}).x, 550);
    EXPECT_DOUBLE_EQ(view.toPage({0, 0, 1}).y, 350);  // up on the page is smaller y
    view.yaw = std::numbers::pi / 2;
    EXPECT_NEAR(view.toPage({0, 1, 0}).x, 350, 1e-12);
    view.yaw = 0;
    view.pitch = std::numbers::pi / 2;  // seen from above: y points up the page
    EXPECT_NEAR(view.toPage({0, 1, 0}).y, 350, 1e-12);
}

TEST(OrbitsSketch, KeepsABoundedNumberOfPointsPerBody) {
    Simulation simulation = smallSimulation(3);
    TrajectorySketch sketch(simulation.bodies().size(), 1000, std::size_t{12} * 50);
    sketch.record(simulation);
    for (int step = 0; step < 1000; ++step) {
        simulation.step();
        sketch.record(simulation);
    }
    for (const auto& path : sketch.paths()) {
        EXPECT_GE(path.size(), 2u);
        EXPECT_LE(path.size(), 52u);
    }
}

TEST(OrbitsOutput, CsvRowsReadBackExactly) {
    Simulation simulation = smallSimulation(5);
    simulation.step();
    std::ostringstream out;
    writeCsvHeader(out);
    writeCsvRows(out, simulation);
    std::istringstream in(out.str());
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, CSV_HEADER);
    std::getline(in, line);
    double x = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "1,%*[^,],0,%lf,", &x), 1);
    EXPECT_EQ(x, simulation.bodies()[0].position.x);
    int rows = 1;
    while (std::getline(in, line)) ++rows;
    EXPECT_EQ(rows, 12);
}

std::filesystem::path scratchDirectory() {
    auto dir = std::filesystem::temp_directory_path() /
               cat("orbits_test_", std::to_string(::testing::UnitTest::GetInstance()->random_seed()), "_",
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(OrbitsOutput, SvgPictureIsWellFormedAndEscapesText) {
    Simulation simulation = smallSimulation(9);
    TrajectorySketch sketch(simulation.bodies().size(), 200, 2000);
    sketch.record(simulation);
    for (int step = 0; step < 200; ++step) {
        simulation.step();
        sketch.record(simulation);
    }
    const auto path = scratchDirectory() / "escaped.svg";
    {
        std::ofstream file(path);
        writeSvg(file, sketch, simulation.attractors(), {"a <title> & \"more\"", "it's"});
    }
    EXPECT_NE(contentOf(path).find("a &lt;title&gt; &amp; &quot;more&quot;"), std::string::npos);
    const std::string xmllint = cat(ORBITS_XMLLINT, " --noout '", path.string(), "'");
    EXPECT_EQ(std::system(xmllint.c_str()), 0) << xmllint;
    std::filesystem::remove_all(path.parent_path());
}

TEST(OrbitsOutput, AnUncommittedFileLeavesTheOldOneAlone) {
    const auto dir = scratchDirectory();
    const auto path = dir / "out.csv";
    std::ofstream(path) << "earlier run\n";
    {
        OutputFile file(path.string());
        std::string error;
        ASSERT_TRUE(file.open(error)) << error;
        file.stream() << "half a run";
    }
    EXPECT_EQ(contentOf(path), "earlier run\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.csv.part"));
    {
        OutputFile file(path.string());
        std::string error;
        ASSERT_TRUE(file.open(error)) << error;
        file.stream() << "a whole run\n";
        ASSERT_TRUE(file.commit(error)) << error;
    }
    EXPECT_EQ(contentOf(path), "a whole run\n");
    std::filesystem::remove_all(dir);
}

TEST(OrbitsOutput, AFileInAMissingDirectoryIsAClearError) {
    OutputFile file((std::filesystem::temp_directory_path() / "no-such-orbits-dir" / "x.svg").string());
    std::string error;
    EXPECT_FALSE(file.open(error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

}  // namespace
}  // namespace orbits
