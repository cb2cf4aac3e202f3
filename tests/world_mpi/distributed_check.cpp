// The distributed World against one process, run under mpirun with any number of processes:
// a scene with mutual gravity, attractors, every kind of body, compensated and plain kdk and
// yoshida4 steps, contacts, bodies added and removed mid-run, an attractor-only stretch, test
// particles, adaptive steps and steps with the tree solver. At every checkpoint the distributed
// World's snapshot must equal a one-process World's run beside it; at the end the snapshot's
// hash must equal the golden one.
//
//   distributed_check [--expect FILE] [--fail-rank R] [--mismatch]
//
// --fail-rank R makes rank R fail before its second step (the job must end with a message);
// --mismatch gives rank 1 a different World (every rank must refuse it with a message).
#include <mpi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "vorn_world_mpi.hpp"
#include "world/scene_support.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::VornBody;
using vorn_world::Integrator;
using vorn_world::World;
using vorn_world_mpi::DistributedWorld;

std::uint64_t fnv1a(const std::vector<std::byte>& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const std::byte b : bytes) h = (h ^ static_cast<std::uint64_t>(b)) * 0x100000001b3ULL;
    return h;
}

std::vector<VornBody> bodies(Random& random, int count, double speed) {
    std::vector<VornBody> out;
    for (int i = 0; i < count; ++i) {
        const HomVec4 p = random.unit();
        out.push_back(VornBody::init(p, random.tangent(p, speed), 0.002 * (1 + i % 7)));
    }
    return out;
}

World scene() {
    Random random(2026);
    World world(1.0);
    world.setMutualGravity(true);
    world.setSoftening(1e-4);
    world.addAttractor(random.unit(), 0.05);
    world.addAttractor(random.unit(), 0.03);
    world.add(bodies(random, 49, 0.2), {.radius = 0.02});
    world.add(VornBody::static_(random.unit()));
    VornBody resting = VornBody::init(random.unit(), HomVec4::zero(), 0.01);
    resting.active = false;
    world.add(resting);
    return world;
}

int failures = 0;

void check(bool ok, const std::string& what, int rank) {
    if (ok) return;
    ++failures;
    std::fprintf(stderr, "rank %d: %s differs from one process\n", rank, what.c_str());
}

int run(int argc, char** argv) {
    std::string expect;
    int fail_rank = -1;
    bool mismatch = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--expect" && i + 1 < argc) {
            expect = argv[++i];
        } else if (arg == "--fail-rank" && i + 1 < argc) {
            fail_rank = std::atoi(argv[++i]);
        } else if (arg == "--mismatch") {
            mismatch = true;
        } else {
            std::fprintf(stderr, "usage: distributed_check [--expect FILE] [--fail-rank R] [--mismatch]\n");
            return 2;
        }
    }
    int rank = 0, ranks = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);

    World one = scene();
    World start = scene();
    if (mismatch && rank == 1) start.add(VornBody::static_(HomVec4::init(0, 0, 0, 1)));
    DistributedWorld many(MPI_COMM_WORLD, std::move(start));
    const auto same = [&](const char* what) { check(many.world().snapshot() == one.snapshot(), what, rank); };
    const auto both = [&](auto&& change) {
        change(one);
        change(many.world());
    };
    const auto steps = [&](int count, Integrator integrator, double dt) {
        for (int k = 0; k < count; ++k) {
            if (k == 1 && rank == fail_rank) throw std::runtime_error("failing on purpose (--fail-rank)");
            one.step(dt, integrator);
            many.step(dt, integrator);
        }
    };

    steps(20, Integrator::kdk, 0.01);
    same("the state after kdk steps");
    check(many.world().contacts(0.3).size() == one.contacts(0.3).size(), "the contact set", rank);
    both([](World& w) { w.resolveContacts(w.contacts(0.3)); });
    both([](World& w) { w.setCompensated(true); });
    steps(10, Integrator::yoshida4, 0.01);
    same("the state after compensated yoshida4 steps");
    both([](World& w) {
        Random random(9);
        w.add(bodies(random, 5, 0.1));
        w.remove(std::vector<vorn_world::BodyId>{3, 17, 40});
        w.setCompensated(false);
    });
    const double t_end = one.time() + 0.1;
    one.integrate(t_end, Integrator::yoshida4, 0.015);
    many.integrate(t_end, Integrator::yoshida4, 0.015);
    check(many.world().time() == one.time(), "the clock after integrate", rank);
    same("the state after bodies came and went");
    both([](World& w) { w.setMutualGravity(false); });
    steps(10, Integrator::kdk, 0.02);
    both([](World& w) {
        w.setMutualGravity(true);
        Random random(11);
        w.add(bodies(random, 3, 0.1), {.test_particle = true});
    });
    steps(5, Integrator::kdk, 0.01);
    steps(2, Integrator::adaptive, 0.01);
    same("the state after test particles and adaptive steps");
    both([](World& w) { w.setGravitySolver(vorn_world::GravitySolver::tree(0.5)); });
    steps(3, Integrator::yoshida4, 0.01);
    same("the state after steps with the tree");
    check(many.world().energy() == one.energy(), "the energy", rank);
    const vorn_world::Bivector a = many.world().angularMomentum(), b = one.angularMomentum();
    check(a.xy == b.xy && a.zw == b.zw, "the angular momentum", rank);
    many.verify();

    const std::uint64_t hash = fnv1a(many.world().snapshot());
    if (rank == 0) {
        const vorn_world_mpi::Traffic t = many.traffic();
        std::printf("%d processes: hash %016llx, rank 0 sent %llu and received %llu bytes\n", ranks,
                    static_cast<unsigned long long>(hash), static_cast<unsigned long long>(t.bytes_sent),
                    static_cast<unsigned long long>(t.bytes_received));
        if (!expect.empty()) {
            std::ifstream in(expect);
            std::string golden;
            in >> golden;
            char text[17];
            std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
            if (golden != text) {
                std::fprintf(stderr, "hash %s, expected %s (%s)\n", text, golden.c_str(), expect.c_str());
                ++failures;
            }
        }
    }
    int all_failures = 0;
    MPI_Allreduce(&failures, &all_failures, 1, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
    return all_failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    int status = 0;
    try {
        status = run(argc, argv);
    } catch (const vorn_world_mpi::MismatchError& refused) {
        // Raised on every process alike: each reports it and the job ends normally.
        std::fprintf(stderr, "%s\n", refused.what());
        status = 3;
    } catch (const std::exception& failed) {
        // One process failed alone: the others may wait for it, so the job is ended.
        int rank = 0;
        MPI_Comm_rank(MPI_COMM_WORLD, &rank);
        std::fprintf(stderr, "rank %d failed: %s; ending the job\n", rank, failed.what());
        MPI_Abort(MPI_COMM_WORLD, 4);
    }
    MPI_Finalize();
    return status;
}
