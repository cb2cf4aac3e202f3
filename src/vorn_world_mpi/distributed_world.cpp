// The distributed World: ranges of blocks a process, the positions gathered after each drift, and
// the rest of the others' bodies gathered when read.
#include <mpi.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/snapshot_bytes.hpp"
#include "vorn_world/state.hpp"
#include "vorn_world_mpi.hpp"

namespace vorn_world_mpi {

namespace {

using vorn_world::detail::stateOf;
using vorn_world::detail::WorldState;

MPI_Comm duplicate(MPI_Comm comm) {
    MPI_Comm copy = MPI_COMM_NULL;
    MPI_Comm_dup(comm, &copy);
    return copy;
}

// The World's snapshot's length and checksum, as every process compares them.
std::uint64_t fingerprint(const World& world) {
    const std::vector<std::byte> bytes = world.snapshot();
    return static_cast<std::uint64_t>(vorn_world::detail::crc32(bytes)) << 32 ^ bytes.size();
}

void requireSameEverywhere(MPI_Comm comm, const World& world, const char* when) {
    int size = 1;
    MPI_Comm_size(comm, &size);
    const std::uint64_t mine = fingerprint(world);
    std::vector<std::uint64_t> all(static_cast<std::size_t>(size));
    MPI_Allgather(&mine, 1, MPI_UINT64_T, all.data(), 1, MPI_UINT64_T, comm);
    std::string differing;
    for (int r = 1; r < size; ++r) {
        if (all[static_cast<std::size_t>(r)] != all[0])
            differing += (differing.empty() ? "" : ", ") + std::to_string(r);
    }
    if (!differing.empty()) {
        throw MismatchError(std::string("vorn_world_mpi: ") + when + ": the World on rank" +
                            (differing.find(',') == std::string::npos ? " " : "s ") + differing +
                            " differs from the World on rank 0");
    }
}

// Puts the World's ParallelFor and its position sharing back when a step ends, however it ends.
class StepSetup {
public:
    StepSetup(WorldState& s, vorn_world::ParallelFor owned, std::function<void()> share)
        : s_(s), saved_(std::move(s.parallel_for)) {
        s.parallel_for = std::move(owned);
        s.share_positions = std::move(share);
    }
    ~StepSetup() {
        s_.parallel_for = std::move(saved_);
        s_.share_positions = nullptr;
    }
    StepSetup(const StepSetup&) = delete;
    StepSetup& operator=(const StepSetup&) = delete;

private:
    WorldState& s_;
    vorn_world::ParallelFor saved_;
};

}  // namespace

DistributedWorld DistributedWorld::fromRoot(MPI_Comm comm, const World& world, int root) {
    int rank = 0;
    MPI_Comm_rank(comm, &rank);
    std::vector<std::byte> bytes;
    if (rank == root) bytes = world.snapshot();
    std::uint64_t length = bytes.size();
    MPI_Bcast(&length, 1, MPI_UINT64_T, root, comm);
    bytes.resize(length);
    // In pieces below 2^31 bytes, MPI's count being an int.
    constexpr std::uint64_t piece = std::uint64_t{1} << 30;
    for (std::uint64_t at = 0; at < length; at += piece) {
        MPI_Bcast(bytes.data() + at, static_cast<int>(std::min(piece, length - at)), MPI_BYTE, root, comm);
    }
    return DistributedWorld(comm, rank == root ? World(world) : World::fromSnapshot(bytes));
}

DistributedWorld::DistributedWorld(MPI_Comm comm, World world)
    : comm_(duplicate(comm)), world_(std::move(world)) {
    MPI_Comm_rank(comm_, &rank_);
    MPI_Comm_size(comm_, &size_);
    try {
        requireSameEverywhere(comm_, world_, "starting");
    } catch (...) {
        MPI_Comm_free(&comm_);
        throw;
    }
}

DistributedWorld::~DistributedWorld() {
    if (comm_ != MPI_COMM_NULL) MPI_Comm_free(&comm_);
}

DistributedWorld::DistributedWorld(DistributedWorld&& other) noexcept
    : comm_(std::exchange(other.comm_, MPI_COMM_NULL)),
      rank_(other.rank_),
      size_(other.size_),
      world_(std::move(other.world_)),
      stale_(other.stale_),
      traffic_(other.traffic_) {}

std::size_t DistributedWorld::blockBegin(int rank) const {
    WorldState& s = stateOf(const_cast<World&>(world_));
    const std::size_t blocks = s.paddedSize() / 4;
    return blocks * static_cast<std::size_t>(rank) / static_cast<std::size_t>(size_);
}

std::size_t DistributedWorld::firstSlot() const { return 4 * blockBegin(rank_); }
std::size_t DistributedWorld::endSlot() const { return 4 * blockBegin(rank_ + 1); }

// Each process's range of one array of paddedSize() values (at `values`) to every process.
void DistributedWorld::gatherColumns(double* values, std::size_t count) {
    if (size_ == 1 || count == 0) return;
    std::vector<int> counts(static_cast<std::size_t>(size_)), offsets(static_cast<std::size_t>(size_));
    for (int r = 0; r < size_; ++r) {
        offsets[static_cast<std::size_t>(r)] = static_cast<int>(4 * blockBegin(r));
        counts[static_cast<std::size_t>(r)] = static_cast<int>(4 * (blockBegin(r + 1) - blockBegin(r)));
    }
    MPI_Allgatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, values, counts.data(), offsets.data(), MPI_DOUBLE,
                   comm_);
    const auto own = static_cast<std::uint64_t>(counts[static_cast<std::size_t>(rank_)]);
    traffic_.bytes_sent += 8 * own;
    traffic_.bytes_received += 8 * (count - own);
}

void DistributedWorld::gatherPositions() {
    WorldState& s = stateOf(world_);
    const vorn_world::detail::Columns q = s.positions();
    for (double* column : {q.x, q.y, q.z, q.w}) gatherColumns(column, s.paddedSize());
}

void DistributedWorld::synchronize() {
    if (!stale_) return;
    WorldState& s = stateOf(world_);
    const std::size_t n = s.paddedSize();
    std::vector<double*> arrays;
    const auto add = [&arrays](const vorn_world::detail::Columns& c) {
        arrays.insert(arrays.end(), {c.x, c.y, c.z, c.w});
    };
    add(s.positions());
    add(s.velocities());
    if (s.positionLowsKept()) add(vorn_world::detail::columnsOfBlock(s.q_low_block, s.rows));
    if (s.compensated) add(vorn_world::detail::columnsOfBlock(s.v_low_block, s.rows));
    for (std::vector<double>* array : {&s.gx, &s.gy, &s.gz, &s.gw, &s.fx, &s.fy, &s.fz, &s.fw})
        arrays.push_back(array->data());
    for (double* array : arrays) gatherColumns(array, n);
    stale_ = false;
}

template <class Steps>
void DistributedWorld::advance(Integrator integrator, const Steps& steps) {
    WorldState& s = stateOf(world_);
    const bool mutual_with_tests = s.mutual && s.test_count > 0 && s.movedCount() > s.test_count;
    const bool shared = size_ > 1 && (integrator == Integrator::kdk || integrator == Integrator::yoshida4) &&
                        !mutual_with_tests;
    if (!shared) {
        synchronize();
        steps();
        return;
    }
    // Shared steps need nothing of the others' bodies but the positions their pull needs, which
    // the mutual steps gather after each drift (the closing kick leaves them as they are).
    const std::size_t first = blockBegin(rank_), end = blockBegin(rank_ + 1);
    const StepSetup setup(
        s,
        [first, end](std::size_t count, const vorn_world::RangeBody& body) {
            const std::size_t begin = std::min(first, count), stop = std::min(end, count);
            if (begin < stop) body(begin, stop);
        },
        [this] { gatherPositions(); });
    // From the first pass on, the others' bodies here are out of date (also if a step throws).
    stale_ = true;
    steps();
}

void DistributedWorld::step(double dt, Integrator integrator) {
    advance(integrator, [&] { world_.step(dt, integrator); });
}

std::uint64_t DistributedWorld::integrate(double t_end, Integrator integrator, double dt,
                                          std::uint64_t max_steps) {
    std::uint64_t taken = 0;
    advance(integrator, [&] { taken = world_.integrate(t_end, integrator, dt, max_steps); });
    return taken;
}

World& DistributedWorld::world() {
    synchronize();
    return world_;
}

void DistributedWorld::verify() {
    synchronize();
    requireSameEverywhere(comm_, world_, "verifying");
}

}  // namespace vorn_world_mpi
