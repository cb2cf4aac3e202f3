// A World spread over the processes of an MPI job, with the same bits as one process.
//
// Every process holds the whole World; the storage is cut into contiguous ranges of blocks of
// four bodies, one range a process, and each process steps only its own bodies. With mutual
// gravity the processes exchange the positions after each drift (an allgather: 32 bytes a body),
// and each computes its own bodies' accelerations from all of them, in the one-process order.
// Everything else a process holds of the others' bodies (velocities, low parts, accelerations,
// forces) is brought up to date only when something reads it (synchronize()). Each body's value
// comes from the same operations as on one process, so the state, the contacts and the
// diagnostics are the same bits for any number of processes. kdk and yoshida4 steps are shared
// out so; the adaptive and compat steps, and mutual gravity among test particles, are computed
// whole by every process (the same bits, no time saved).
//
// Every member is collective: all processes call it in the same order with the same arguments.
// A refused input is refused on every process alike (the same checks on the same World); an MPI
// failure ends the job (MPI's default error handler). docs/world.md says how to run it.
#pragma once

#include <mpi.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "vorn_world.hpp"

namespace vorn_world_mpi {

using vorn_world::Integrator;
using vorn_world::World;

// The processes do not hold the same World, or a collective call found them in disagreement.
class MismatchError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Traffic {
    std::uint64_t bytes_sent = 0;      // this process's values sent to the others
    std::uint64_t bytes_received = 0;  // the others' values received
};

class DistributedWorld {
public:
    // The World of the process of rank `root` on every process of `comm` (sent as a snapshot);
    // `world` is read on the root only. The communicator is duplicated.
    static DistributedWorld fromRoot(MPI_Comm comm, const World& world, int root = 0);
    // Every process's own World, which must be the same on all (their snapshots are compared:
    // MismatchError on every process, naming the processes that differ from rank 0).
    DistributedWorld(MPI_Comm comm, World world);
    ~DistributedWorld();
    DistributedWorld(const DistributedWorld&) = delete;
    DistributedWorld& operator=(const DistributedWorld&) = delete;
    DistributedWorld(DistributedWorld&& other) noexcept;
    DistributedWorld& operator=(DistributedWorld&&) = delete;

    int rank() const { return rank_; }
    int size() const { return size_; }

    // One step, or steps to t_end, as World::step and World::integrate.
    void step(double dt, Integrator integrator = Integrator::kdk);
    std::uint64_t integrate(double t_end, Integrator integrator, double dt,
                            std::uint64_t max_steps = UINT64_MAX);

    // The whole World, up to date on every process. Changes made through it (bodies added or
    // removed, settings, contacts resolved) must be made alike on every process.
    World& world();
    // Brings every process's copy of the others' bodies up to date (world() does it when needed).
    void synchronize();
    // Compares the processes' Worlds (their snapshots' checksums): MismatchError when they differ.
    void verify();

    // The storage slots this process steps: [first, end).
    std::size_t firstSlot() const;
    std::size_t endSlot() const;
    // What this process has exchanged so far.
    Traffic traffic() const { return traffic_; }

private:
    std::size_t blockBegin(int rank) const;
    void gatherColumns(double* values, std::size_t count);
    void gatherPositions();
    // Runs `steps` (World::step or integrate) shared out when the integrator allows, whole
    // otherwise.
    template <class Steps>
    void advance(Integrator integrator, const Steps& steps);

    MPI_Comm comm_ = MPI_COMM_NULL;
    int rank_ = 0;
    int size_ = 1;
    World world_;
    bool stale_ = false;  // the others' bodies are not up to date here
    Traffic traffic_;
};

}  // namespace vorn_world_mpi
