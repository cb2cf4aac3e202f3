// The World's snapshots: everything that determines its future in the bytes docs/world.md
// describes, and a World rebuilt from them that steps to the same bits. Every value read is
// checked as the World checks what it is given, so a damaged or forged snapshot is refused
// and never becomes a World.
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/gauss_radau.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/snapshot.hpp"
#include "vorn_world/snapshot_bytes.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

namespace detail {

namespace {

constexpr std::size_t coefficient_columns = static_cast<std::size_t>(radau::order) * 4;

std::size_t paddedFor(std::size_t bodies) { return (bodies + 3) / 4 * 4; }

// Whether the adaptive integrator's predictions still hold for the bodies as they are.
bool adaptiveWarm(const WorldState& s) {
    const AdaptiveMemory& m = s.adaptive;
    const std::size_t coefficients = coefficient_columns * s.paddedSize();
    return m.warm && m.seen_revision == s.revision && m.padded == s.paddedSize() &&
           m.b.size() == coefficients && m.e.size() == coefficients && m.g.size() == coefficients;
}

bool adaptiveLowsKept(const WorldState& s) {
    return adaptiveWarm(s) && !s.compensated && s.adaptive.lows.size() == 8 * s.paddedSize();
}

void writeColumns(ByteWriter& out, const double* block, std::size_t rows, std::size_t n) {
    for (std::size_t c = 0; c < 4; ++c) out.f64s(block + c * rows, n);
}

void writeArray(ByteWriter& out, const std::vector<double>& values, std::size_t n) {
    out.f64s(values.data(), n);
}

void writeFlags(ByteWriter& out, const std::vector<std::uint8_t>& values, std::size_t n) {
    out.raw(std::as_bytes(std::span(values.data(), n)));
}

void writePayload(ByteWriter& out, const WorldState& s) {
    const AdaptiveMemory& m = s.adaptive;
    const std::size_t n = s.size();
    const bool warm = adaptiveWarm(s);
    out.f64(s.G);
    out.f64(s.softening);
    out.f64(s.time_low);
    out.u64(s.next_id);
    out.f64(m.tolerance);
    out.u64(m.step_limit);
    out.f64(m.next_step);
    out.u64(m.steps);
    out.u64(m.rejected);
    out.u64(m.evaluations);
    // Without bodies there are no low parts or spins to keep (a World emptied keeps its arrays).
    const bool position_lows = s.compensated || (s.positionLowsKept() && n > 0);
    const bool spins = !s.spins.empty() && n > 0;
    for (const bool flag : {s.mutual, s.compensated, position_lows, s.position_lows_set, spins, warm,
                            warm && m.predicted, adaptiveLowsKept(s)}) {
        out.u8(flag ? 1 : 0);
    }
    out.u8(static_cast<std::uint8_t>(s.solver.method));
    out.f64(s.solver.theta);
    out.u8(static_cast<std::uint8_t>(s.solver.order));
    out.u64(s.attractors.size());
    for (const Attractor& a : s.attractors) {
        for (const double value : {a.position.x, a.position.y, a.position.z, a.position.w, a.mass})
            out.f64(value);
    }
    out.u64(n);
    for (const BodyId id : s.ids) out.u64(id);
    writeColumns(out, s.q_block.data(), s.rows, n);
    writeColumns(out, s.v_block.data(), s.rows, n);
    if (position_lows) writeColumns(out, s.q_low_block.data(), s.rows, n);
    if (s.compensated) writeColumns(out, s.v_low_block.data(), s.rows, n);
    for (const std::vector<double>* f : {&s.fx, &s.fy, &s.fz, &s.fw}) writeArray(out, *f, n);
    for (const std::vector<double>* values : {&s.mass, &s.restitution, &s.friction, &s.radius})
        writeArray(out, *values, n);
    for (const std::vector<std::uint8_t>* flags : {&s.type, &s.active, &s.test}) writeFlags(out, *flags, n);
    for (std::size_t i = 0; spins && i < n; ++i) {
        const Bivector& b = s.spins[i];
        for (const double value : {b.xy, b.xz, b.xw, b.yz, b.yw, b.zw}) out.f64(value);
    }
    if (warm) {
        for (const std::vector<double>* values : {&m.b, &m.e, &m.g}) writeArray(out, *values, values->size());
        if (adaptiveLowsKept(s)) writeArray(out, m.lows, m.lows.size());
    }
}

// Reads a value and refuses it, naming it, unless `accept` holds.
template <class Accept>
double checked(ByteReader& in, const char* what, Accept accept) {
    const double value = in.f64();
    if (!accept(value)) in.refuse("invalid snapshot: " + std::string(what) + " is " + shown(value));
    return value;
}

bool isFiniteValue(double value) { return std::isfinite(value); }

bool readFlag(ByteReader& in) {
    const std::uint8_t flag = in.u8();
    if (flag > 1) in.refuse("invalid snapshot: a flag is " + std::to_string(flag));
    return flag == 1;
}

// A count of things of at least `bytes_each` bytes, refused when the rest cannot hold them (so
// that a forged count never asks for a huge allocation).
std::size_t readCount(ByteReader& in, std::size_t bytes_each, const char* what) {
    const std::uint64_t count = in.u64();
    if (count > in.remaining() / bytes_each) {
        in.refuse("truncated: it announces " + std::to_string(count) + " " + what +
                  " and is too short for them");
    }
    return static_cast<std::size_t>(count);
}

void readArray(ByteReader& in, double* values, std::size_t n, const char* what) {
    in.f64s(values, n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(values[i]))
            in.refuse("invalid snapshot: " + std::string(what) + " is " + shown(values[i]));
    }
}

void readColumns(ByteReader& in, double* block, std::size_t rows, std::size_t n, const char* what) {
    for (std::size_t c = 0; c < 4; ++c) readArray(in, block + c * rows, n, what);
}

std::unique_ptr<WorldState> readPayload(ByteReader& in, const SnapshotHeader& header) {
    auto state = std::make_unique<WorldState>();
    WorldState& s = *state;
    AdaptiveMemory& m = s.adaptive;
    s.G = checked(in, "G", [](double g) { return g >= 0.0 && g <= MAX_MAGNITUDE; });
    s.softening = checked(in, "the softening", [](double e) { return e >= 0.0 && e <= MAX_MAGNITUDE; });
    s.time = header.time;
    s.step_count = header.step_count;
    if (!std::isfinite(s.time)) in.refuse("invalid snapshot: the time is " + shown(s.time));
    s.time_low = checked(in, "the time's low part", isFiniteValue);
    s.next_id = in.u64();
    m.tolerance = checked(in, "the adaptive tolerance", [](double t) { return t >= 0x1.0p-60 && t <= 1.0; });
    m.step_limit = in.u64();
    if (m.step_limit == 0) in.refuse("invalid snapshot: the adaptive step limit is 0");
    m.next_step = checked(in, "the adaptive step", isFiniteValue);
    m.steps = in.u64();
    m.rejected = in.u64();
    m.evaluations = in.u64();
    s.mutual = readFlag(in);
    const bool compensated = readFlag(in);
    const bool position_lows = readFlag(in);
    const bool position_lows_set = readFlag(in);
    const bool spins = readFlag(in);
    const bool warm = readFlag(in);
    const bool predicted = readFlag(in);
    const bool adaptive_lows = readFlag(in);
    if ((compensated && !position_lows) || (adaptive_lows && (!warm || compensated)) || (predicted && !warm))
        in.refuse("invalid snapshot: its flags contradict one another");
    if (header.version >= 2) {
        s.solver.method = static_cast<GravitySolver::Method>(in.u8());
        s.solver.theta = in.f64();
        s.solver.order = in.u8();
        try {
            checkGravitySolver(s.solver);
        } catch (const std::invalid_argument& refused) {
            in.refuse(std::string("invalid snapshot: ") + refused.what());
        }
    }

    const std::size_t attractors = readCount(in, 5 * sizeof(double), "attractors");
    for (std::size_t k = 0; k < attractors; ++k) {
        Attractor a{};
        a.position.x = checked(in, "an attractor's position", isFiniteValue);
        a.position.y = checked(in, "an attractor's position", isFiniteValue);
        a.position.z = checked(in, "an attractor's position", isFiniteValue);
        a.position.w = checked(in, "an attractor's position", isFiniteValue);
        if (!(a.position.norm() > 1e-15)) in.refuse("invalid snapshot: an attractor's position is zero");
        a.mass =
            checked(in, "an attractor's mass", [](double mass) { return std::fabs(mass) <= MAX_MAGNITUDE; });
        s.attractors.push_back(a);
    }

    // Per body: an id, 12 doubles of position, velocity and force, 4 of mass, restitution,
    // friction and radius, and 3 flags.
    const std::size_t n = readCount(in, 8 + 16 * 8 + 3, "bodies");
    s.ids.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        s.ids[i] = in.u64();
        if ((i > 0 && s.ids[i] <= s.ids[i - 1]) || s.ids[i] >= s.next_id)
            in.refuse("invalid snapshot: its ids are not increasing and below the next id");
    }
    s.compensated = compensated;
    const std::size_t padded = paddedFor(n);
    if (padded > 0) s.resizePadded(padded);
    if (position_lows && !compensated) s.keepPositionLows();
    s.position_lows_set = position_lows_set;
    std::vector<double> q(4 * n), v(4 * n), f(4 * n), fields(4 * n);
    std::vector<std::uint8_t> flags(3 * n);
    readColumns(in, q.data(), n, n, "a body's position");
    readColumns(in, v.data(), n, n, "a body's velocity");
    if (position_lows) readColumns(in, s.q_low_block.data(), s.rows, n, "a position's low part");
    if (compensated) readColumns(in, s.v_low_block.data(), s.rows, n, "a velocity's low part");
    readArray(in, f.data(), 4 * n, "a body's force");
    readArray(in, fields.data(), 4 * n, "a body's mass, restitution, friction or radius");
    const std::span<const std::byte> flag_bytes = in.take(flags.size());
    if (!flags.empty()) std::memcpy(flags.data(), flag_bytes.data(), flags.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto at = [n, i](const std::vector<double>& columns, std::size_t c) {
            return columns[c * n + i];
        };
        const VornBody body{
            .position = HomVec4::init(at(q, 0), at(q, 1), at(q, 2), at(q, 3)),
            .velocity = HomVec4::init(at(v, 0), at(v, 1), at(v, 2), at(v, 3)),
            .mass = at(fields, 0),
            .restitution = at(fields, 1),
            .friction = at(fields, 2),
            .force_accum = HomVec4::init(at(f, 0), at(f, 1), at(f, 2), at(f, 3)),
            .body_type = static_cast<VornBody::BodyType>(flags[i]),
            .active = flags[n + i] == 1,
        };
        const BodyOptions options{.radius = at(fields, 3), .test_particle = flags[2 * n + i] == 1};
        try {
            acceptedBody(body);
            checkOptions(options);
            if (flags[n + i] > 1 || flags[2 * n + i] > 1) throw std::invalid_argument("a flag is not 0 or 1");
            const double qq = HomVec4::dot(body.position, body.position);
            if (!(qq > 0.5 && qq < 2.0)) throw std::invalid_argument("its position is far from the sphere");
        } catch (const std::invalid_argument& refused) {
            in.refuse("invalid snapshot: body " + std::to_string(s.ids[i]) + ": " + refused.what());
        }
        // The low parts read above stay: writeSlot clears them, so they are set aside first.
        double lows[8];
        for (int c = 0; c < 4; ++c) {
            lows[c] = position_lows ? s.q_low_block[static_cast<std::size_t>(c) * s.rows + i] : 0.0;
            lows[4 + c] = compensated ? s.v_low_block[static_cast<std::size_t>(c) * s.rows + i] : 0.0;
        }
        s.writeSlot(i, body);
        s.writeOptions(i, options);
        for (int c = 0; c < 4; ++c) {
            if (position_lows) s.q_low_block[static_cast<std::size_t>(c) * s.rows + i] = lows[c];
            if (compensated) s.v_low_block[static_cast<std::size_t>(c) * s.rows + i] = lows[4 + c];
        }
    }
    if (spins) {
        s.spins.assign(padded, Bivector{});
        for (std::size_t i = 0; i < n; ++i) {
            double b[6];
            readArray(in, b, 6, "a body's spin");
            s.spins[i] = Bivector{b[0], b[1], b[2], b[3], b[4], b[5]};
        }
    }
    if (warm) {
        const std::size_t coefficients = coefficient_columns * padded;
        for (std::vector<double>* values : {&m.b, &m.e, &m.g}) {
            values->resize(coefficients);
            readArray(in, values->data(), coefficients, "an adaptive coefficient");
        }
        if (adaptive_lows) {
            m.lows.resize(8 * padded);
            readArray(in, m.lows.data(), m.lows.size(), "an adaptive low part");
        }
        m.padded = padded;
        m.warm = true;
        m.predicted = predicted;
        m.seen_revision = s.revision;
    }
    if (in.remaining() != 0)
        in.refuse("invalid snapshot: " + std::to_string(in.remaining()) + " bytes past its end");
    return state;
}

}  // namespace

std::vector<std::byte> encodeSnapshot(const WorldState& s) {
    ByteWriter out;
    // At most: per body an id, 20 doubles of state and low parts, 4 of fields, 3 flags, a spin;
    // per padded slot the adaptive memory.
    const std::size_t adaptive = adaptiveWarm(s) ? (3 * coefficient_columns + 8) * s.paddedSize() : 0;
    out.reserve(snapshot_header_bytes + 256 + 40 * s.attractors.size() + (8 + 24 * 8 + 3 + 48) * s.size() +
                8 * adaptive + snapshot_checksum_bytes);
    writeSnapshotHeader(out, SnapshotHeader{snapshot_version, 0, s.time, s.step_count});
    writePayload(out, s);
    std::vector<std::byte>& bytes = out.bytes();
    const std::uint64_t payload = bytes.size() - snapshot_header_bytes;
    for (std::size_t k = 0; k < 8; ++k) bytes[16 + k] = static_cast<std::byte>((payload >> (8 * k)) & 0xFFU);
    out.u32(crc32(bytes));
    return std::move(bytes);
}

std::unique_ptr<WorldState> decodeSnapshot(std::span<const std::byte> bytes, const std::string& source) {
    ByteReader whole(bytes, source);
    if (bytes.size() < snapshot_header_bytes)
        whole.refuse(bytes.empty() ? "empty: not a vorn world snapshot" : "truncated within its header");
    const SnapshotHeader header = readSnapshotHeader(bytes, source);
    if (header.payload_bytes > bytes.size() ||
        bytes.size() - header.payload_bytes < snapshot_header_bytes + snapshot_checksum_bytes) {
        whole.refuse("truncated: " + std::to_string(bytes.size()) + " bytes of the " +
                     std::to_string(header.totalBytes()) + " its header announces");
    }
    if (bytes.size() != header.totalBytes()) {
        whole.refuse(std::to_string(bytes.size() - header.totalBytes()) + " bytes follow the snapshot");
    }
    const std::size_t checked_bytes = bytes.size() - snapshot_checksum_bytes;
    ByteReader tail(bytes.subspan(checked_bytes), source);
    if (tail.u32() != crc32(bytes.first(checked_bytes)))
        whole.refuse("corrupted: its checksum does not match its contents");
    ByteReader payload(bytes.subspan(snapshot_header_bytes, static_cast<std::size_t>(header.payload_bytes)),
                       source);
    return readPayload(payload, header);
}

}  // namespace detail

std::vector<std::byte> World::snapshot() const { return detail::encodeSnapshot(*state_); }

World World::fromSnapshot(std::span<const std::byte> bytes) {
    World world;
    world.state_ = detail::decodeSnapshot(bytes, "snapshot");
    return world;
}

}  // namespace vorn_world
