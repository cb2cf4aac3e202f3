// A self-gravitating cluster on S³ stepped by the processes of an MPI job:
//
//   mpirun -np P mpi_cluster [--bodies N] [--steps K] [--dt DT] [--integrator kdk|yoshida4]
//                            [--load FILE] [--save FILE] [--energy]
//
// N bodies (default 2000) of total mass 1 fill a ball of angular radius 0.3 at rest; each
// process steps its share of them. Rank 0 prints the time a step took, what the process moved
// over the network against the model (32 bytes a body a sub-step, an allgather of positions)
// and, with --energy, the energy at the start and the end (O(N²) in double-double arithmetic:
// slower than a step). --load starts from a snapshot any World saved (one
// process or many); --save writes the end state as a snapshot a one-process World can load.
#include <mpi.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <vorn/vorn_world_mpi.hpp>

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;
using vorn_world::Integrator;
using vorn_world::World;

struct Options {
    int bodies = 2000;
    int steps = 10;
    double dt = 1e-3;
    Integrator integrator = Integrator::kdk;
    std::optional<std::string> load, save;
    bool energy = false;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--bodies" && has_value) {
            o.bodies = std::atoi(argv[++i]);
        } else if (arg == "--steps" && has_value) {
            o.steps = std::atoi(argv[++i]);
        } else if (arg == "--dt" && has_value) {
            o.dt = std::atof(argv[++i]);
        } else if (arg == "--integrator" && has_value) {
            const std::string name = argv[++i];
            if (name != "kdk" && name != "yoshida4")
                throw std::invalid_argument("--integrator: kdk or yoshida4");
            o.integrator = name == "kdk" ? Integrator::kdk : Integrator::yoshida4;
        } else if (arg == "--load" && has_value) {
            o.load = argv[++i];
        } else if (arg == "--save" && has_value) {
            o.save = argv[++i];
        } else if (arg == "--energy") {
            o.energy = true;
        } else {
            throw std::invalid_argument("unknown or incomplete argument " + arg);
        }
    }
    if (o.bodies < 1 || o.steps < 0 || !(o.dt > 0.0))
        throw std::invalid_argument("bad --bodies, --steps or --dt");
    return o;
}

// splitmix64, so that every process and every platform draws the same cluster.
struct Random {
    std::uint64_t state;
    double uniform() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
    }
};

World cluster(int n) {
    World world(1.0);
    world.setMutualGravity(true);
    world.setSoftening(1e-4);
    Random random{7};
    std::vector<VornBody> bodies;
    while (static_cast<int>(bodies.size()) < n) {
        // Uniform in the ball of radius 0.3 around (0, 0, 0, 1), by rejection in the tangent cube.
        const double x = 0.6 * random.uniform() - 0.3, y = 0.6 * random.uniform() - 0.3,
                     z = 0.6 * random.uniform() - 0.3;
        const double r = std::sqrt(x * x + y * y + z * z);
        if (r > 0.3 || r == 0.0) continue;
        const double s = std::sin(r) / r;
        bodies.push_back(
            VornBody::init(HomVec4::init(s * x, s * y, s * z, std::cos(r)), HomVec4::zero(), 1.0 / n));
    }
    world.add(bodies);
    return world;
}

int run(int argc, char** argv) {
    const Options o = parse(argc, argv);
    int rank = 0, processes = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &processes);
    // Rank 0 builds or loads the World and sends it to the others.
    const World start = rank != 0 ? World() : o.load ? World::load(*o.load) : cluster(o.bodies);
    vorn_world_mpi::DistributedWorld world =
        vorn_world_mpi::DistributedWorld::fromRoot(MPI_COMM_WORLD, start);
    const double energy = o.energy ? world.world().energy() : 0.0;
    const vorn_world_mpi::Traffic before = world.traffic();
    MPI_Barrier(MPI_COMM_WORLD);
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < o.steps; ++k) world.step(o.dt, o.integrator);
    MPI_Barrier(MPI_COMM_WORLD);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const vorn_world_mpi::Traffic after = world.traffic();
    // world() is collective (it brings every process up to date): called on all of them.
    World& end = world.world();
    const double end_energy = o.energy ? end.energy() : 0.0;
    if (rank == 0) {
        const double n = static_cast<double>(end.size());
        const double steps = o.steps > 0 ? o.steps : 1;
        const int sub_steps = o.integrator == Integrator::kdk ? 1 : 3;
        std::printf("%zu bodies, %d processes, %d %s steps: %.4g s a step\n", end.size(), processes, o.steps,
                    o.integrator == Integrator::kdk ? "kdk" : "yoshida4", seconds / steps);
        std::printf("rank 0 sent %.4g and received %.4g bytes a step; the model: %.4g and %.4g\n",
                    static_cast<double>(after.bytes_sent - before.bytes_sent) / steps,
                    static_cast<double>(after.bytes_received - before.bytes_received) / steps,
                    processes > 1 ? 32.0 * sub_steps * n / processes : 0.0,
                    32.0 * sub_steps * n * (processes - 1) / processes);
        if (o.energy) std::printf("energy %.17g -> %.17g\n", energy, end_energy);
        if (o.save) end.save(*o.save);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    try {
        run(argc, argv);
    } catch (const std::exception& failed) {
        int rank = 0;
        MPI_Comm_rank(MPI_COMM_WORLD, &rank);
        std::fprintf(stderr, "mpi_cluster: rank %d: %s\n", rank, failed.what());
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
    MPI_Finalize();
    return 0;
}
