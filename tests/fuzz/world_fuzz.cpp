// Drives a World with arbitrary operations and hostile values. After every operation either
// it was refused (std::invalid_argument or std::out_of_range) and the World is exactly as it
// was, or every body is finite, on the sphere and tangent, and the diagnostics are finite. The
// touching pairs are the all-pairs set, and mergers keep the mass and the bivector. Snapshots
// give the same World back, and forged ones never a faulty World.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <stdexcept>
#include <vector>

#include "vorn_world.hpp"
#include "world/forged_snapshot.hpp"

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;
using vorn_world::Integrator;
using vorn_world::World;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

class Input {
public:
    explicit Input(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool empty() const { return bytes_.empty(); }
    std::uint8_t byte() {
        if (bytes_.empty()) return 0;
        const std::uint8_t b = bytes_.front();
        bytes_ = bytes_.subspan(1);
        return b;
    }
    // A value from a palette of the meaningful and the hostile.
    double value() {
        switch (byte() % 16) {
            case 0: {
                std::uint64_t bits = 0;
                for (int i = 0; i < 8; ++i) bits = bits << 8 | byte();
                return std::bit_cast<double>(bits);
            }
            case 1:
                return std::numeric_limits<double>::quiet_NaN();
            case 2:
                return (byte() & 1 ? -1.0 : 1.0) * std::numeric_limits<double>::infinity();
            case 3:
                return (byte() & 1 ? -1.0 : 1.0) * 0x1.0p100;
            case 4:
                return (byte() & 1 ? -1.0 : 1.0) * 0x1.0000000000001p100;
            case 5:
                return std::ldexp(1.0, static_cast<int>(byte()) * 8 - 1074);
            case 6:
                return 0.0;
            case 7:
                return -0.0;
            case 8:
                return std::numeric_limits<double>::denorm_min();
            default: {
                const double digits = (static_cast<double>(byte()) - 128.0) / 64.0;
                return digits * std::ldexp(1.0, byte() % 8 - 4);
            }
        }
    }
    HomVec4 vector() {
        const double x = value(), y = value(), z = value(), w = value();
        return HomVec4::init(x, y, z, w);
    }
    VornBody body() {
        VornBody b = VornBody::init(HomVec4::init(0, 0, 0, 1), HomVec4::zero(), 1.0);
        b.position = vector();
        const std::uint8_t what = byte();
        b.velocity = what & 1 ? vector() : HomVec4::zero();
        b.mass = what & 2 ? value() : 1.0;
        b.restitution = what & 4 ? value() : 0.5;
        if (what & 8) b.force_accum = vector();
        b.body_type = static_cast<VornBody::BodyType>(what >> 4 & 3);
        b.active = (what & 64) == 0;
        return b;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
bool sameBits(HomVec4 a, HomVec4 b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z) && sameBits(a.w, b.w);
}

bool sameBits(const vorn_world::Bivector& a, const vorn_world::Bivector& b) {
    return sameBits(a.xy, b.xy) && sameBits(a.xz, b.xz) && sameBits(a.xw, b.xw) && sameBits(a.yz, b.yz) &&
           sameBits(a.yw, b.yw) && sameBits(a.zw, b.zw);
}

void requireSame(const World& a, const World& b) {
    require(a.size() == b.size() && a.gravitationalConstant() == b.gravitationalConstant() &&
            a.mutualGravity() == b.mutualGravity() && a.compensated() == b.compensated() &&
            a.attractors().size() == b.attractors().size());
    const std::vector<VornBody> x = a.exportBodies(), y = b.exportBodies();
    for (std::size_t i = 0; i < x.size(); ++i) {
        const vorn_world::BodyId id = a.ids()[i];
        require(id == b.ids()[i]);
        require(sameBits(x[i].position, y[i].position) && sameBits(x[i].velocity, y[i].velocity) &&
                sameBits(x[i].force_accum, y[i].force_accum) && sameBits(x[i].mass, y[i].mass) &&
                x[i].body_type == y[i].body_type && x[i].active == y[i].active);
        require(sameBits(a.options(id).radius, b.options(id).radius) &&
                a.options(id).test_particle == b.options(id).test_particle &&
                sameBits(a.spin(id), b.spin(id)));
    }
}

double largest(HomVec4 v) {
    return std::fmax(std::fmax(std::fabs(v.x), std::fabs(v.y)), std::fmax(std::fabs(v.z), std::fabs(v.w)));
}

// The largest velocity component of any body, or of one plus what a step of dt could add to it.
double speedScale(const World& world, double dt) {
    std::vector<HomVec4> g(world.size());
    world.accelerations(g);
    double scale = 0.0;
    const std::vector<VornBody> bodies = world.exportBodies();
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const double mass = std::fabs(bodies[i].mass);
        const double pull = largest(g[i]) + (mass > 0.0 ? largest(bodies[i].force_accum) / mass : 0.0);
        scale = std::fmax(scale, largest(bodies[i].velocity) + (dt == 0.0 ? 0.0 : std::fabs(dt) * pull));
    }
    return scale;
}

// Tangent to rounding of the largest velocity seen so far: a bounce or a kick that nearly stops
// a body leaves the rounding of its earlier speed, or of the kick, until its next kick.
void requireSound(const World& world, double earlier_scale) {
    const double scale = std::fmax(earlier_scale, speedScale(world, 0.0));
    for (const VornBody& b : world.exportBodies()) {
        const HomVec4 q = b.position, v = b.velocity;
        require(std::isfinite(HomVec4::dot(v, v)) && std::isfinite(b.mass));
        require(std::fabs(q.norm() - 1.0) <= 1e-12);
        require(std::fabs(HomVec4::dot(q, v)) <= 0x1.0p-38 * scale + 1e-300);  // as the World keeps it
    }
    std::vector<HomVec4> g(world.size());
    world.accelerations(g);
    for (const HomVec4 a : g) require(std::isfinite(a.x + a.y + a.z + a.w));
    // Sums may overflow to infinity after extreme steps, never to NaN.
    require(!std::isnan(world.energy()));
    const vorn_world::Bivector L = world.angularMomentum();
    require(!std::isnan(L.xy + L.xz + L.xw + L.yz + L.yw + L.zw));
    for (const vorn_world::BodyId id : world.ids()) {
        const vorn_world::Bivector spin = world.spin(id);
        require(std::isfinite(spin.xy + spin.xz + spin.xw + spin.yz + spin.yw + spin.zw));
    }
}

// Options from a palette: no radius, the hostile values, and radii up to π/2 and beyond.
vorn_world::BodyOptions optionsOf(Input& in) {
    const std::uint8_t what = in.byte();
    vorn_world::BodyOptions options;
    options.test_particle = (what & 1) != 0;
    if ((what & 2) != 0)
        options.radius = (what & 4) != 0 ? in.value() : 0.0625 * static_cast<double>(in.byte() % 32);
    return options;
}

// The mass and the bivector of the moved bodies, and the sums of their terms' magnitudes.
struct Totals {
    double mass, mass_scale;
    vorn_world::Bivector L;
    double L_scale;
};
Totals totalsOf(const World& world) {
    Totals t{0.0, 0.0, world.angularMomentum(), 0.0};
    const std::vector<VornBody> bodies = world.exportBodies();
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const VornBody& b = bodies[i];
        const vorn_world::BodyId id = world.ids()[i];
        const bool test = world.options(id).test_particle;
        if (!b.active || b.body_type != VornBody::BodyType::dynamic || (b.mass < 1e-10 && !test)) continue;
        t.mass += b.mass;
        t.mass_scale += std::fabs(b.mass);
        const vorn_world::Bivector s = world.spin(id);
        // |q| is one; the components' sum bounds |v| without squaring (which may underflow).
        const HomVec4 v = b.velocity;
        t.L_scale +=
            2.0 * std::fabs(b.mass) * (std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z) + std::fabs(v.w)) +
            std::fabs(s.xy) + std::fabs(s.xz) + std::fabs(s.xw) + std::fabs(s.yz) + std::fabs(s.yw) +
            std::fabs(s.zw);
    }
    return t;
}

// After mergers the mass and the bivector are what they were, to their rounding.
void requireKept(const Totals& before, const Totals& after) {
    const auto near = [](double a, double b, double scale) {
        return !(std::fabs(a - b) > 1e-12 * scale + 1e-300) || !std::isfinite(scale);
    };
    require(near(before.mass, after.mass, before.mass_scale));
    const vorn_world::Bivector& x = before.L;
    const vorn_world::Bivector& y = after.L;
    const double scale = before.L_scale;
    require(near(x.xy, y.xy, scale) && near(x.xz, y.xz, scale) && near(x.xw, y.xw, scale) &&
            near(x.yz, y.yz, scale) && near(x.yw, y.yw, scale) && near(x.zw, y.zw, scale));
}

vorn_world::BodyId pickId(Input& in, const World& world) {
    if (world.size() == 0 || in.byte() % 8 == 0) return in.byte();  // maybe unknown
    return world.ids()[in.byte() % world.size()];
}

// Applies one operation; returns the dt of a step (0 for the others).
double apply(Input& in, World& world) {
    switch (in.byte() % 19) {
        case 0: {
            const VornBody body = in.body();
            world.add(body, optionsOf(in));
            return 0.0;
        }
        case 1: {
            std::vector<VornBody> bodies(in.byte() % 6);
            for (VornBody& b : bodies) b = in.body();
            world.add(bodies, optionsOf(in));
            return 0.0;
        }
        case 2:
            world.remove(pickId(in, world));
            return 0.0;
        case 3:
            world.setBody(pickId(in, world), in.body());
            return 0.0;
        case 4:
            world.applyForce(pickId(in, world), in.vector());
            return 0.0;
        case 5:
        case 6: {
            double dt = in.value();
            const auto integrator = static_cast<Integrator>(in.byte() % 5);
            if (integrator == Integrator::adaptive) {
                // The adaptive steps follow the motion: a dt of 2^100 would take as long as it
                // says, and a hostile world can ask for steps without end: the limit keeps each
                // call to about what 500 steps of a few bodies cost.
                if (std::fabs(dt) > 1.0) dt = std::copysign(1.0, dt);
                const std::size_t n = world.size();
                world.setAdaptiveStepLimit(std::max<std::size_t>(8, 32000 / (64 + n * n)));
            }
            world.step(dt, integrator);
            return dt;
        }
        case 7:
            world.setGravitationalConstant(in.value());
            return 0.0;
        case 8:
            world.setMutualGravity(in.byte() & 1);
            return 0.0;
        case 9:
            world.setCompensated(in.byte() & 1);
            return 0.0;
        case 10: {
            const HomVec4 p = in.vector();
            world.addAttractor(p, in.value());
            return 0.0;
        }
        case 11:
            if ((in.byte() & 1) != 0) {
                world.clearAttractors();
            } else {
                world.setSoftening(in.value());
            }
            return 0.0;
        case 12: {
            const std::vector<vorn_world::Contact> found = world.contacts(in.value());
            world.resolveContacts(found);
            return 0.0;
        }
        case 13: {
            const vorn_world::BodyId id = pickId(in, world);
            world.setOptions(id, optionsOf(in));
            return 0.0;
        }
        case 14: {
            // Every touching pair, checked against all pairs, then merged.
            const std::vector<vorn_world::Contact> touching = world.touchingContacts();
            const std::vector<VornBody> bodies = world.exportBodies();
            std::size_t expected = 0;
            for (std::size_t i = 0; i < bodies.size(); ++i) {
                for (std::size_t j = i + 1; j < bodies.size(); ++j) {
                    const double r_i = world.options(world.ids()[i]).radius;
                    const double r_j = world.options(world.ids()[j]).radius;
                    if (r_i > 0.0 && r_j > 0.0 &&
                        vorn_kernel::fsDistance(bodies[i].position, bodies[j].position) < r_i + r_j) {
                        require(expected < touching.size() && touching[expected].a == world.ids()[i] &&
                                touching[expected].b == world.ids()[j]);
                        ++expected;
                    }
                }
            }
            require(expected == touching.size());
            const Totals before = totalsOf(world);
            const std::vector<vorn_world::Merger> mergers = world.mergeContacts(touching);
            if (!mergers.empty()) requireKept(before, totalsOf(world));
            return 0.0;
        }
        case 15: {
            // Arbitrary pairs, unknown ids among them.
            std::vector<vorn_world::Contact> pairs(in.byte() % 8);
            for (vorn_world::Contact& c : pairs) {
                c.a = pickId(in, world);
                c.b = pickId(in, world);
            }
            world.mergeContacts(pairs);
            return 0.0;
        }
        case 17: {
            // A field of every body, or of a few ids (unknown and repeated ones among them).
            const std::uint8_t what = in.byte();
            std::vector<vorn_world::BodyId> ids;
            if ((what & 4) != 0) ids.resize(in.byte() % 6);
            for (vorn_world::BodyId& id : ids) id = pickId(in, world);
            const std::size_t count = (what & 4) != 0 ? ids.size() : world.size();
            if ((what & 3) == 0) {
                std::vector<double> masses(count);
                for (double& m : masses) m = in.value();
                (what & 4) != 0 ? world.setMasses(ids, masses) : world.setMasses(masses);
            } else {
                std::vector<HomVec4> vectors(count);
                for (HomVec4& v : vectors) v = in.vector();
                if ((what & 3) == 1) {
                    (what & 4) != 0 ? world.setPositions(ids, vectors) : world.setPositions(vectors);
                } else {
                    (what & 4) != 0 ? world.setVelocities(ids, vectors) : world.setVelocities(vectors);
                }
            }
            return 0.0;
        }
        case 18: {
            std::vector<vorn_world::BodyId> ids(in.byte() % 6);
            for (vorn_world::BodyId& id : ids) id = pickId(in, world);
            world.remove(ids);
            return 0.0;
        }
        default: {
            const World copy = world;
            world = copy;
            // A snapshot gives the same World back; one with bytes changed behind a checksum made
            // to match is refused or gives a World that steps and reports without fault.
            const std::vector<std::byte> bytes = world.snapshot();
            require(World::fromSnapshot(bytes).snapshot() == bytes);
            std::vector<std::byte> forged = bytes;
            for (int k = in.byte() % 4; k > 0; --k) {
                const std::size_t at = (std::size_t{in.byte()} << 8 | in.byte()) % forged.size();
                forged[at] ^= static_cast<std::byte>(in.byte());
            }
            try {
                World restored = World::fromSnapshot(vorn::world_test::resealed(forged));
                restored.step(0.01, Integrator::kdk);
                (void)restored.energy();
            } catch (const vorn_world::SnapshotError&) {}
            return 0.0;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in({data, size});
    World world(1.0);
    double scale_seen = 0.0;
    for (int op = 0; op < 64 && !in.empty(); ++op) {
        if (world.size() > 48) world.remove(world.ids().front());
        const World before = world;
        double dt = 0.0;
        try {
            dt = apply(in, world);
        } catch (const std::invalid_argument&) {
            requireSame(world, before);
            continue;
        } catch (const std::out_of_range&) {
            requireSame(world, before);
            continue;
        } catch (const std::runtime_error&) {  // adaptive steps that stalled: where they reached
            requireSound(world, scale_seen);
            continue;
        }
        scale_seen = std::fmax(scale_seen, speedScale(before, dt));
        requireSound(world, scale_seen);
    }
    return 0;
}
