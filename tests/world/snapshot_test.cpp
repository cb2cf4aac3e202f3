// Snapshots: a World restored from one continues to the same bits as the World it was taken from,
// and a snapshot that is damaged, cut short or not one at all is refused without changing a thing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "forged_snapshot.hpp"
#include "scene_support.hpp"
#include "vorn_snapshot_series.hpp"
#include "vorn_world.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::resealed;
using vorn::world_test::VornBody;
using vorn_world::Integrator;
using vorn_world::SnapshotError;
using vorn_world::SnapshotSeries;
using vorn_world::World;

// Everything a World keeps: mutual gravity, attractors, a static body, a test particle, a force
// waiting to act, and the spin a merger leaves.
World richScene(bool compensated) {
    Random random(7);
    World world(0.5);
    world.setMutualGravity(true);
    world.setSoftening(1e-4);
    world.setCompensated(compensated);
    world.addAttractor(random.unit(), 0.3);
    world.addAttractor(random.unit(), 0.2);
    for (int i = 0; i < 11; ++i) {
        const HomVec4 p = random.unit();
        world.add(VornBody::init(p, random.tangent(p, 0.3), 0.01 * (1 + i)), {.radius = 0.001});
    }
    const HomVec4 p = random.unit();
    world.add(VornBody::init(p, random.tangent(p, 0.2), 0.0), {.test_particle = true});
    world.add(VornBody::static_(random.unit()));
    const vorn_world::BodyId a =
        world.add(VornBody::init(p, HomVec4::init(0.1, 0, 0, 0), 0.02), {.radius = 0.05});
    const vorn_world::BodyId b = world.add(
        VornBody::init(vorn::world_test::near(random, p, 0.02), HomVec4::zero(), 0.03), {.radius = 0.05});
    EXPECT_EQ(world.mergeContacts(world.touchingContacts()).size(), 1U);
    world.applyForce(world.contains(a) ? a : b, HomVec4::init(0.0, 0.01, 0.0, 0.0));
    world.remove(world.ids()[2]);
    return world;
}

// Save at step k, restore, continue: the same bits as never stopping, for every integrator with
// and without the compensated low parts (and the adaptive integrator's predictions).
TEST(WorldSnapshots, RestoredWorldContinuesToTheSameBits) {
    for (const bool compensated : {false, true}) {
        for (const Integrator integrator :
             {Integrator::compat, Integrator::kdk, Integrator::yoshida4, Integrator::adaptive}) {
            SCOPED_TRACE(testing::Message()
                         << "integrator " << static_cast<int>(integrator) << " compensated " << compensated);
            World original = richScene(compensated);
            for (int k = 0; k < 5; ++k) original.step(0.01, integrator);
            const std::vector<std::byte> bytes = original.snapshot();
            World restored = World::fromSnapshot(bytes);
            EXPECT_EQ(restored.snapshot(), bytes);
            for (int k = 0; k < 5; ++k) {
                original.step(0.01, integrator);
                restored.step(0.01, integrator);
            }
            EXPECT_EQ(restored.snapshot(), original.snapshot());
            EXPECT_EQ(restored.time(), original.time());
            EXPECT_EQ(restored.energy(), original.energy());
        }
    }
    // The gravity solver is part of the state.
    World original = richScene(false);
    original.setGravitySolver(vorn_world::GravitySolver::tree(0.4, 1));
    original.step(0.01);
    World restored = World::fromSnapshot(original.snapshot());
    original.step(0.01);
    restored.step(0.01);
    EXPECT_EQ(restored.snapshot(), original.snapshot());
}

// A snapshot of the first format version, which had no gravity solver, loads with the automatic
// one.
TEST(WorldSnapshots, FirstVersionLoads) {
    const World world = richScene(true);
    const std::vector<std::byte> bytes = world.snapshot();
    constexpr std::size_t solver_at = 128, solver_bytes = 10;
    std::vector<std::byte> first(bytes.begin(), bytes.begin() + solver_at);
    first.insert(first.end(), bytes.begin() + solver_at + solver_bytes, bytes.end());
    first[8] = std::byte{1};
    const std::uint64_t payload = first.size() - 44;  // less the header and the checksum
    for (std::size_t k = 0; k < 8; ++k) first[16 + k] = static_cast<std::byte>((payload >> (8 * k)) & 0xFFU);
    EXPECT_EQ(World::fromSnapshot(resealed(first)).snapshot(), bytes);
}

std::filesystem::path scratchFile(const std::string& name) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vorn-snapshot-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir / name;
}

std::vector<char> contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(WorldSnapshots, DamagedSnapshotsAreRefusedAndNothingChanges) {
    World world = richScene(true);
    world.step(0.01, Integrator::adaptive);
    const std::vector<std::byte> bytes = world.snapshot();
    const std::vector<std::byte> kept = world.snapshot();
    // Every prefix, and one flipped bit anywhere.
    for (std::size_t n = 0; n < bytes.size(); n += 1 + n / 16) {
        const std::vector<std::byte> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(world = World::fromSnapshot(cut), SnapshotError) << n;
    }
    for (std::size_t at = 0; at < bytes.size(); at += 7) {
        std::vector<std::byte> flipped = bytes;
        flipped[at] ^= std::byte{0x10};
        EXPECT_THROW(world = World::fromSnapshot(flipped), SnapshotError) << at;
    }
    std::vector<std::byte> longer = bytes;
    longer.push_back(std::byte{0});
    EXPECT_THROW(world = World::fromSnapshot(longer), SnapshotError);
    // A newer version, and values no World holds behind a valid checksum.
    std::vector<std::byte> newer = bytes;
    newer[8] = std::byte{3};
    try {
        world = World::fromSnapshot(resealed(newer));
        ADD_FAILURE() << "a version-3 snapshot was accepted";
    } catch (const SnapshotError& refused) {
        EXPECT_NE(std::string(refused.what()).find("version 3"), std::string::npos) << refused.what();
    }
    std::vector<std::byte> forged = bytes;
    forged[40] = std::byte{0xFF};  // G's lowest byte, then its sign and exponent: a NaN
    forged[46] = std::byte{0xFF};
    forged[47] = std::byte{0xFF};
    EXPECT_THROW(world = World::fromSnapshot(resealed(forged)), SnapshotError);
    EXPECT_EQ(world.snapshot(), kept);

    const std::filesystem::path path = scratchFile("world.vorn");
    write(path, std::vector<std::byte>(bytes.begin(), bytes.end() - 9));
    EXPECT_THROW(world = World::load(path), SnapshotError);
    EXPECT_THROW(world = World::load(scratchFile("absent.vorn")), std::filesystem::filesystem_error);
    EXPECT_EQ(world.snapshot(), kept);
    // Saving where the directory does not exist leaves nothing; saving over a file replaces it whole.
    EXPECT_THROW(world.save(scratchFile("none") / "world.vorn"), std::filesystem::filesystem_error);
    world.save(path);
    EXPECT_EQ(World::load(path).snapshot(), kept);
    std::filesystem::remove_all(path.parent_path());
}

// A series keeps every appended snapshot; a crash in the middle of an append spoils only that one.
TEST(WorldSnapshots, SeriesReadsAnySnapshotAndSurvivesACutAppend) {
    const std::filesystem::path path = scratchFile("run.vorns");
    std::filesystem::remove(path);
    World world = richScene(false);
    std::vector<std::vector<std::byte>> taken;
    {
        SnapshotSeries series(path);
        for (int k = 0; k < 3; ++k) {
            world.integrate(world.time() + 0.02, Integrator::yoshida4, 0.01);
            series.append(world);
            taken.push_back(world.snapshot());
        }
    }
    std::ofstream(path, std::ios::binary | std::ios::app) << "VORNWRLD partial";
    SnapshotSeries series(path);
    ASSERT_EQ(series.size(), 3U);
    EXPECT_EQ(series.trailingBytes(), 16U);
    EXPECT_EQ(series.stepCount(1), 4U);
    EXPECT_EQ(series.time(2), World::fromSnapshot(taken[2]).time());
    EXPECT_EQ(series.load(1).snapshot(), taken[1]);
    EXPECT_THROW((void)series.load(3), std::out_of_range);
    const std::vector<char> before = contents(path);
    EXPECT_THROW(series.append(world), SnapshotError);
    EXPECT_EQ(contents(path), before);

    const std::filesystem::path foreign = scratchFile("notes.txt");
    std::ofstream(foreign) << "not a series of snapshots, but long enough to have a header's bytes";
    EXPECT_THROW(SnapshotSeries{foreign}, SnapshotError);
    std::filesystem::remove_all(path.parent_path());
}

}  // namespace
