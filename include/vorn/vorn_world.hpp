// A world of many bodies on S³ stepped together: bodies in structure-of-arrays form under stable
// ids, fixed attractors, optional mutual gravity, three integrators, energy and angular
// momentum, contacts found by a broadphase, and a pluggable parallel-for.
//
// The law: a point of mass M pulls a body with the acceleration G·M / (sin²d + ε) (the body's
// own mass cancels; ε = 1e-10 unless World::setSoftening chooses another), d being the
// Fubini–Study distance, along the great circle toward the nearer representative of the
// source; zero when sin d < 1e-10. sin d and the direction are formed from the chord, never
// from an arc cosine, so they stay accurate down to the cut-off. Every result is the same bit
// for bit whatever the parallel-for and its chunking: each body's value is computed by one
// fixed sequence of operations, and sums over bodies run in storage order. The World
// allocates when bodies are added and in its scratch arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "vorn_kernel.hpp"
#include "vorn_physics.hpp"

namespace vorn_world {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

// The default softening ε of the law (World::setSoftening chooses another), and its cut-off on
// sin d.
inline constexpr double GRAVITY_SOFTENING = 1e-10;
inline constexpr double GRAVITY_CUTOFF = 1e-10;

// The largest magnitude a World accepts for G, dt, a mass, a friction, and each
// component of a velocity or force (2^100, about 1.27e30): within it one step's arithmetic
// cannot overflow. Larger or non-finite values are refused with std::invalid_argument.
inline constexpr double MAX_MAGNITUDE = 0x1.0p100;

// The acceleration that a source of gravitational parameter gm = G·M at `source` gives a body at
// `p`; both unit length. Tangent at p, toward the representative of `source` on p's side, of
// magnitude gm / (sin²d + ε); zero when sin d < GRAVITY_CUTOFF.
HomVec4 gravityAcceleration(HomVec4 p, HomVec4 source, double gm, double softening = GRAVITY_SOFTENING);
// The potential energy per unit mass of the body at p, of which the acceleration is minus the
// gradient: −gm·atan(√(ε/(1+ε))·cot d) / √(ε(1+ε)), zero at d = π/2 and about −gm·cot d away
// from the core (exactly that for ε = 0), −gm·π/(2√(ε(1+ε))) at d = 0. Formed in double-double
// arithmetic from p and the source as given (their lengths drop out), accurate to a few units
// in 2^-104 before its final rounding, and the same bits on every target.
double gravityPotential(HomVec4 p, HomVec4 source, double gm, double softening = GRAVITY_SOFTENING);

// Runs body(begin, end) over disjoint ranges that together cover [0, count), in any order and
// on any threads, and returns when all have finished. body may be called with no range when
// count is 0.
using RangeBody = std::function<void(std::size_t begin, std::size_t end)>;
using ParallelFor = std::function<void(std::size_t count, const RangeBody& body)>;

// One call body(0, count) on the calling thread.
ParallelFor serialFor();

// A fixed set of worker threads. run() splits [0, count) into `threads` contiguous chunks of
// nearly equal size (or chunks of `chunk` indices, when given: any chunk from 1 up, a chunk at
// least count meaning one), the calling thread taking part.
// An exception thrown by body is rethrown by run() after every chunk has finished. run() must
// not be called from two threads at once, nor from inside a body.
class ThreadPool {
public:
    explicit ThreadPool(unsigned threads, std::size_t chunk = 0);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;
    ThreadPool(ThreadPool&&) = delete;
    ThreadPool& operator=(ThreadPool&&) = delete;

    void run(std::size_t count, const RangeBody& body);
    // A ParallelFor that calls run(); the pool must outlive every use of it.
    ParallelFor parallelFor();
    unsigned threads() const;

private:
    struct Shared;
    std::unique_ptr<Shared> shared_;
};

using BodyId = std::uint64_t;

class World;
class SnapshotSeries;

namespace detail {
struct WorldState;                  // the World's arrays, private to the library
WorldState& stateOf(World& world);  // for the library's own modules (the distributed world)
}  // namespace detail

struct Attractor {
    HomVec4 position;  // unit length
    double mass;
};

enum class Integrator : std::uint8_t {
    // Per body exactly vorn_physics::integrateStep under the forces of the step's start
    // (see World::step): first order in dt under gravity, kept to compare with existing loops.
    compat = 0,
    // Kick–drift–kick: half a tangential kick, the exact great-circle motion, half a kick.
    // Symplectic, time-reversible, second order; one force evaluation per step.
    kdk = 1,
    // Three kdk steps of weights 1/(2−2^(1/3)), −2^(1/3)/(2−2^(1/3)), 1/(2−2^(1/3)):
    // symplectic, time-reversible, fourth order; three force evaluations per step. Its drifts
    // carry the positions' rounding from step to step (32 bytes a body from its first step),
    // so that on round orbits it does not repeat.
    yoshida4 = 2,
    // A Gauss–Radau predictor–corrector of order 15 whose steps follow the motion: each step's
    // length makes its highest coefficient of the acceleration's expansion, relative to the
    // acceleration, about the World's adaptiveTolerance(), so steps shorten through close
    // encounters and pericentres and lengthen elsewhere. step(dt) advances by exactly dt in as
    // many steps as that asks for (the last one shortened to land), carrying the step length and
    // the coefficients' prediction to the next call while nothing else changes the bodies. Kept
    // on the sphere to rounding, with compensated sums; 15 to 30 force evaluations a step. Where
    // a pull jumps (a source's nearer representative changes sides at d = π/2) a step stands once
    // what the jump adds is within the tolerance. Should the steps have to fall below 2^-52 of dt
    // (a collision without softening), or one call reach adaptiveStepLimit() steps, step() throws
    // std::runtime_error with the bodies and time() where the steps reached.
    adaptive = 3,
};

// How kdk and yoshida4 sum mutual gravity (World::setGravitySolver). direct adds every source's
// pull exactly. tree stands a kd-tree's cells in for their members where they are narrow enough,
// seen from the body: a cell of chord radius ρ at chord distance D from the body is expanded to
// `order` (1: its mass and first moment; 2: and its second moment) when ρ < θ·D and it lies
// wholly on one side of the body's equator; nearer leaves are summed exactly. θ in [0, 1),
// 0 meaning the direct sum in another order; the error falls about as θ^(order+1)
// (docs/world.md has the figures). The default θ = 0.2 with order 2 keeps the 99.9th
// percentile of the relative force error within about 10⁻³ on clustered scenes. automatic is
// direct below AUTOMATIC_TREE_SOURCES sources and that tree from there, where it is no slower
// on a uniform scene and much faster on clustered ones. Each body's result is the same bits
// for every thread count and chunking and on every target. The adaptive integrator and compat
// always sum directly.
struct GravitySolver {
    enum class Method : std::uint8_t { automatic = 0, direct = 1, tree = 2 };
    Method method = Method::automatic;
    double theta = 0.2;
    std::uint32_t order = 2;

    static GravitySolver automatic() { return {}; }
    static GravitySolver direct() { return {Method::direct, 0.2, 2}; }
    static GravitySolver tree(double theta = 0.2, std::uint32_t order = 2) {
        return {Method::tree, theta, order};
    }
    bool operator==(const GravitySolver&) const = default;
};
// The number of sources (moved bodies that pull) from which the automatic solver uses the tree.
inline constexpr std::size_t AUTOMATIC_TREE_SOURCES = 200000;

// What the adaptive integrator has done in this World: steps accepted and rejected, force
// evaluations, and the step it will try next (0 before the first).
struct AdaptiveReport {
    std::uint64_t steps, rejected, evaluations;
    double next_step;
};

// What a body is beyond its VornBody. A test particle is pulled but pulls nothing (nor any
// other body in contacts' impulses' sense: it still bounces); it is moved when active and
// dynamic whatever its mass, and a test particle of mass below 1e-10 takes no force. The
// radius (an angle in [0, π/2]) makes bodies touch (World::touchingContacts) and merge
// (World::mergeContacts).
struct BodyOptions {
    double radius = 0.0;
    bool test_particle = false;
};

// Two bodies closer than the threshold: ids a < b and their Fubini–Study distance.
struct Contact {
    BodyId a;
    BodyId b;
    double distance;
};

// Σ m·q∧v over the moved bodies: component ij is Σ m·(q_i·v_j − q_j·v_i).
struct Bivector {
    double xy, xz, xw, yz, yw, zw;
};

// One merger of World::mergeContacts: the body that remains and the body it absorbed (removed).
struct Merger {
    BodyId kept;
    BodyId absorbed;
};

// A snapshot refused by World::fromSnapshot or World::load: not a snapshot, a format version this
// library does not read, truncated, corrupted (its checksum does not match), or holding a value
// no World holds. The message names the snapshot and says which.
class SnapshotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One World is used by one thread at a time (its loops use the ParallelFor); const members
// may refresh the cached accelerations. A moved-from World may only be assigned to or destroyed.
// Every member that refuses an input (std::invalid_argument, std::out_of_range) leaves the
// World as it was.
class World {
public:
    explicit World(double G = 1.0);
    ~World();
    World(const World& other);
    World& operator=(const World& other);
    World(World&&) noexcept;
    World& operator=(World&&) noexcept;

    // Bodies. The storage order is the order of ids (ids only grow and are never reused); the
    // moved bodies are the active dynamic ones of mass at least 1e-10, as for integrateStep.
    // A body is put on the sphere on entry: a position whose squared length is more than 2^-40
    // from one is divided by its length (HomVec4::normalize), one within that is kept as given
    // (the first drift brings it to unit length); a velocity's part along the position is
    // removed unless it is below 2^-40 of the speed. body() reads back what was stored. A body
    // whose position is not finite or has length at most 1e-15, whose restitution is outside
    // [0, 1], whose other fields are not finite or exceed MAX_MAGNITUDE, or whose type is not
    // one of the three, is refused with std::invalid_argument. Unknown ids throw
    // std::out_of_range.
    BodyId add(const VornBody& body, const BodyOptions& options = {});
    // All of `bodies` in order, or none of them when one is refused (the message names it);
    // their ids in order. Every body gets `options`.
    std::vector<BodyId> add(std::span<const VornBody> bodies, const BodyOptions& options = {});
    void remove(BodyId id);
    bool contains(BodyId id) const;
    VornBody body(BodyId id) const;
    void setBody(BodyId id, const VornBody& body);
    BodyOptions options(BodyId id) const;
    void setOptions(BodyId id, const BodyOptions& options);  // radius finite, at least 0
    // Adds force to the body's accumulator, as VornBody does (refused unless the sum is within
    // MAX_MAGNITUDE).
    void applyForce(BodyId id, HomVec4 force);
    std::size_t size() const;
    // The ids in storage order; valid until a body is added or removed (copy them to remove
    // bodies while going through them).
    std::span<const BodyId> ids() const;
    std::vector<VornBody> exportBodies() const;
    // The masses, the radii, the body types (VornBody::BodyType's values) and whether each body
    // is a test particle (1) or not (0), in storage order, in place; valid as ids() is.
    std::span<const double> masses() const;
    std::span<const double> radii() const;
    std::span<const std::uint8_t> bodyTypes() const;
    std::span<const std::uint8_t> testParticles() const;
    // The positions, velocities or masses of every body (values in storage order) or of the
    // bodies `ids` (values in their order, each id once), in one call. Each body is taken as
    // setBody would take it with that field replaced (a new position is put on the sphere and
    // the velocity's part along it removed), and all are written or, when one is refused (the
    // message names it), none.
    void setPositions(std::span<const HomVec4> positions);
    void setPositions(std::span<const BodyId> ids, std::span<const HomVec4> positions);
    void setVelocities(std::span<const HomVec4> velocities);
    void setVelocities(std::span<const BodyId> ids, std::span<const HomVec4> velocities);
    void setMasses(std::span<const double> masses);
    void setMasses(std::span<const BodyId> ids, std::span<const double> masses);
    // Removes the bodies `ids` in one pass over the storage: all of them, or none when one is
    // unknown (std::out_of_range) or named twice (std::invalid_argument).
    void remove(std::span<const BodyId> ids);
    // The positions and velocities in place: component c (x, y, z, w for c = 0..3) of the body in
    // storage slot i is data[c * stride + i], for i < size(). Valid until a body is added or
    // removed; a step changes the values, not the place.
    struct Components {
        const double* data;
        std::size_t stride;
    };
    Components positionComponents() const;
    Components velocityComponents() const;

    // Attractors: fixed point masses, positions normalised on entry (norm above 1e-15, finite),
    // masses finite and within MAX_MAGNITUDE.
    void addAttractor(HomVec4 position, double mass);
    void clearAttractors();
    std::span<const Attractor> attractors() const;

    // G is finite, at least 0 and at most MAX_MAGNITUDE (also in the constructor).
    double gravitationalConstant() const;
    void setGravitationalConstant(double G);
    // Whether the moved bodies pull one another (off by default); test particles pull nothing.
    bool mutualGravity() const;
    void setMutualGravity(bool on);
    // The softening ε of the law for the attractors and the bodies: finite, at least 0 (0 is
    // the pure −cot d potential, with the cut-off), at most MAX_MAGNITUDE. docs/world.md says
    // how to choose it.
    double softening() const;
    void setSoftening(double epsilon);
    // How kdk and yoshida4 sum mutual gravity (GravitySolver; automatic by default). θ outside
    // [0, 1) or not finite, or an order other than 1 and 2, is refused with std::invalid_argument.
    GravitySolver gravitySolver() const;
    void setGravitySolver(const GravitySolver& solver);
    // Whether kdk and yoshida4 carry, beside each position and velocity component, the low part
    // its rounding lost (off by default; 64 bytes a body while on). Their kicks and drifts then
    // keep the errors of their sums and products, so the state's rounding no longer adds up
    // over the steps and the exact flow's invariants (the bivector with mutual gravity, the
    // energy) are kept to the rounding of the forces. What the World reports (body(), the
    // components, the diagnostics) is the leading doubles. A body written whole (add, setBody,
    // a compat step) starts with zero low parts; turning this off drops them. |q| is kept as it
    // is to about 2^-100 a step; a position more than about 2^-41 off the unit sphere is put
    // back toward it by the plain drift's step (the bivector then changes with |q|).
    bool compensated() const;
    void setCompensated(bool on);
    // The adaptive integrator's tolerance (default 1e-10, in [2^-60, 1]): the bound on its
    // highest coefficient relative to the acceleration; its report.
    double adaptiveTolerance() const;
    void setAdaptiveTolerance(double tolerance);
    AdaptiveReport adaptiveReport() const;
    // The most steps one call of step() may take with the adaptive integrator (default 2^30, at
    // least 1).
    std::uint64_t adaptiveStepLimit() const;
    void setAdaptiveStepLimit(std::uint64_t steps);
    void setParallelFor(ParallelFor parallel_for);

    // One step of length dt. Accumulated forces act, divided by the mass, as constant external
    // accelerations over the step and are then cleared. compat runs, from the positions at the
    // start of the step, F_i = Σ_k m_i·vornGravity(b_i, A_k', M_k, G) over the attractors in
    // order, then (mutual gravity on) Σ_j m_i·vornGravity(b_i, p_j', m_j, G) over the other
    // moved bodies j in storage order, each added component by component to a zero vector
    // (A' the representative on the body's side: negated when its dot product with the body's
    // position is negative), then vorn_physics::integrateSteps over all bodies in storage order.
    // dt is finite and within MAX_MAGNITUDE. If the ParallelFor throws, step() rethrows and each
    // body is left at the end of one of the step's passes: without mutual gravity (or in
    // compat) either as before the step or as after it; with mutual gravity, for kdk and each
    // of yoshida4's three stages, the kick-and-drift pass may have run for some bodies.
    void step(double dt, Integrator integrator = Integrator::kdk);
    // Steps of dt from time() until t_end, the last one shortened so that time() ends exactly at
    // t_end (dt > 0; nothing when t_end ≤ time()), at most max_steps of them (calls that go on
    // where the last stopped take the same steps as one call); returns the steps taken.
    std::uint64_t integrate(double t_end, Integrator integrator, double dt,
                            std::uint64_t max_steps = UINT64_MAX);
    // The time the steps have advanced (their lengths summed with compensation, and set exactly
    // by integrate), and the number of steps taken (the adaptive integrator's own steps for
    // it); both start at 0 and copy with the World.
    double time() const;
    std::uint64_t stepCount() const;

    // The gravitational acceleration of every body in storage order (zero for bodies not moved).
    void accelerations(std::span<HomVec4> out) const;

    // The kinetic energy Σ ½m|v|² and the potential energy Σ_i,k m_i·Φ_k(q_i) + Σ_{i<j} m_i·Φ_j(q_i)
    // over the moved bodies (Φ = gravityPotential with G·M and the World's softening; the pairs
    // only with mutual gravity on, and not between two test particles), and their sum. Each term
    // in double-double arithmetic, summed the same way in storage order, so each result is
    // within about one rounding of the exact value for the stored state (whatever the threads).
    // Each call allocates its terms, 16 bytes a body.
    double kineticEnergy() const;
    double potentialEnergy() const;
    double energy() const;
    // Σ (m·q∧v + spin) over the moved bodies, summed in storage order.
    Bivector angularMomentum() const;
    // The body's spin: the angular momentum a merger left in it beyond m·q∧v (zero for a body
    // that never absorbed another). It is not changed by the steps or by setBody, and not counted
    // in the energy.
    Bivector spin(BodyId id) const;

    // Every pair of bodies (of any type) with vorn_kernel::fsDistance(p_a, p_b) < threshold: the
    // set checkCollision reports, sorted by (a, b). The pass keeps its grid's arrays in the
    // World for the next one, so that a steady state allocates only the result (a copy starts
    // without them; docs/world.md gives their size).
    std::vector<Contact> contacts(double threshold) const;
    // For each contact in order whose bodies approach, an impulse along the contact normal with
    // restitution e = min(e_a, e_b), bodies that are not moved taking none of it. Between two
    // moved bodies that are not test particles it conserves the angular-momentum bivector. A
    // test particle pushes nothing: it is turned back as by a body of infinite mass, the other
    // body unchanged (two test particles pass through each other). A contact naming an unknown
    // id is refused (std::out_of_range) before any is applied.
    void resolveContacts(std::span<const Contact> contacts);

    // Every pair of bodies that touch, fsDistance(p_a, p_b) < r_a + r_b (BodyOptions::radius; a
    // body of radius 0 touches nothing, not even inside another's ball), sorted by (a, b):
    // exactly the all-pairs set, as for contacts(threshold).
    std::vector<Contact> touchingContacts() const;
    // For each contact in order, merges its two bodies into one if they touch at that moment (as
    // touchingContacts has it) and both are moved: the kept body (the heavier; of equal masses the lower id;
    // never a test particle when the other is not) takes the mass m_a + m_b, the mass-weighted mean of the
    // two positions (their representatives on one side), the velocity that carries the pair's
    // angular-momentum bivector L (spins included) as far as one point can, −(L⌋q)/M, and the
    // rest of L as its spin; its radius keeps the total volume of the two balls; forces add; its
    // other fields are its own. The absorbed body is removed. A contact naming an absorbed body
    // refers to the body that absorbed it. Pairs that do not touch, pairs with a body that is not
    // moved or of negative mass, and pairs of two test particles are left as they are. Returns
    // the mergers in order.
    // Every id is checked (std::out_of_range), and a merged mass, velocity or force beyond
    // MAX_MAGNITUDE is refused (std::invalid_argument), before anything changes. The time and
    // the step count are kept; docs/world.md says what is conserved.
    std::vector<Merger> mergeContacts(std::span<const Contact> contacts);

    // Snapshots hold everything that determines the World's future: the bodies with their ids,
    // options, spins and low parts, the next id, the attractors, the settings, the time and step
    // count, and the adaptive integrator's predictions, so that a World restored from one takes
    // the same steps to the same bits as this one would. Not kept: the ParallelFor (a restored
    // World runs on the calling thread until given one). The bytes are the same on every target
    // (docs/world.md gives the format); snapshot() allocates them.
    std::vector<std::byte> snapshot() const;
    // The World the bytes hold, or SnapshotError (a new World: nothing else changes).
    static World fromSnapshot(std::span<const std::byte> bytes);
    // Writes the snapshot to a new file beside `path`, flushes it to the disk and only then
    // renames it over `path`, which keeps its old contents if anything fails
    // (std::filesystem::filesystem_error).
    void save(const std::filesystem::path& path) const;
    // The World saved at `path`: SnapshotError for a file that is not a complete, intact
    // snapshot, std::filesystem::filesystem_error when it cannot be read.
    static World load(const std::filesystem::path& path);

private:
    friend class SnapshotSeries;
    friend detail::WorldState& detail::stateOf(World& world);
    std::unique_ptr<detail::WorldState> state_;
};

}  // namespace vorn_world
