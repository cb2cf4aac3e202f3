// A fixed world — attractors, mutual gravity, all three integrators, contacts with their
// response — hashed over every frame; or (--scene tree) a cluster and a scattered crowd under
// the tree solver of both orders, with test particles among them. The hash must equal the golden
// one with any number of threads and any chunking.
//
//   vorn_world_determinism [--scene contacts|tree] [--threads N] [--expect GOLDEN_FILE]
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene_support.hpp"
#include "vorn_world.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::VornBody;

struct Hash {
    std::uint64_t value = 0xcbf29ce484222325ULL;
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) value = (value ^ bytes[i]) * 0x100000001b3ULL;
    }
    void add(double x) { add(&x, sizeof x); }
    void add(HomVec4 v) {
        add(v.x);
        add(v.y);
        add(v.z);
        add(v.w);
    }
};

std::uint64_t runScene(unsigned threads) {
    vorn::world_test::Random random(2026);
    vorn_world::World world(0.02);
    world.setMutualGravity(true);
    for (int k = 0; k < 3; ++k) world.addAttractor(random.unit(), 0.5 + 0.25 * k);
    for (int i = 0; i < 96; ++i) {
        const HomVec4 p = random.unit();
        VornBody body = VornBody::init(p, random.tangent(p, 0.4), 0.5 + 0.05 * (i % 10));
        body.restitution = 0.3 + 0.07 * (i % 10);
        world.add(body);
    }
    std::unique_ptr<vorn_world::ThreadPool> pool;
    if (threads > 1) {
        pool = std::make_unique<vorn_world::ThreadPool>(threads);
        world.setParallelFor(pool->parallelFor());
    }
    Hash hash;
    const vorn_world::Integrator integrators[3] = {
        vorn_world::Integrator::kdk, vorn_world::Integrator::yoshida4, vorn_world::Integrator::compat};
    for (int frame = 0; frame < 300; ++frame) {
        world.step(0.005, integrators[frame % 3]);
        const std::vector<vorn_world::Contact> contacts = world.contacts(0.08);
        world.resolveContacts(contacts);
        for (const vorn_world::Contact& c : contacts) {
            hash.add(&c.a, sizeof c.a);
            hash.add(&c.b, sizeof c.b);
            hash.add(c.distance);
        }
        for (const VornBody& b : world.exportBodies()) {
            hash.add(b.position);
            hash.add(b.velocity);
        }
        hash.add(world.energy());
    }
    return hash.value;
}

// 600 bodies about a point and 600 scattered (a few test particles), 12 frames of kdk and
// yoshida4 with trees of order 2 and then 1. The threads take chunks of five blocks.
std::uint64_t runTreeScene(unsigned threads) {
    vorn::world_test::Random random(29);
    vorn_world::World world(1e-4);
    world.setMutualGravity(true);
    world.addAttractor(random.unit(), 0.05);
    const HomVec4 centre = HomVec4::init(0.6, 0.8, 0.0, 0.0);  // across w = 0
    for (int i = 0; i < 1200; ++i) {
        const HomVec4 p = i % 2 == 0 ? (centre + random.tangent(centre, 0.2)).normalize() : random.unit();
        world.add(VornBody::init(p, random.tangent(p, 0.05), 1.0 + 0.01 * (i % 7)),
                  {.test_particle = i % 50 == 7});
    }
    std::unique_ptr<vorn_world::ThreadPool> pool;
    if (threads > 1) {
        pool = std::make_unique<vorn_world::ThreadPool>(threads, 5);
        world.setParallelFor(pool->parallelFor());
    }
    Hash hash;
    for (int frame = 0; frame < 12; ++frame) {
        world.setGravitySolver(vorn_world::GravitySolver::tree(0.5, frame < 8 ? 2 : 1));
        world.step(0.01, frame % 2 == 0 ? vorn_world::Integrator::kdk : vorn_world::Integrator::yoshida4);
        for (const VornBody& b : world.exportBodies()) {
            hash.add(b.position);
            hash.add(b.velocity);
        }
    }
    return hash.value;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = 1;
    const char* golden_path = nullptr;
    std::string_view scene = "contacts";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--scene" && i + 1 < argc &&
            (argv[i + 1] == std::string_view("contacts") || argv[i + 1] == std::string_view("tree"))) {
            scene = argv[++i];
        } else if (arg == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--expect" && i + 1 < argc) {
            golden_path = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: vorn_world_determinism [--scene contacts|tree] [--threads N] [--expect "
                         "GOLDEN_FILE]\n");
            return 2;
        }
    }
    if (threads == 0 || threads > 64) {
        std::fprintf(stderr, "vorn_world_determinism: --threads takes 1 to 64\n");
        return 2;
    }
    char hex[19];
    std::snprintf(hex, sizeof hex, "%016" PRIx64,
                  scene == "tree" ? runTreeScene(threads) : runScene(threads));
    std::printf("%s\n", hex);
    if (golden_path == nullptr) return 0;
    std::ifstream file(golden_path);
    std::string golden;
    if (!(file >> golden)) {
        std::fprintf(stderr, "vorn_world_determinism: cannot read the golden hash from %s\n", golden_path);
        return 2;
    }
    if (golden != hex) {
        std::fprintf(stderr,
                     "vorn_world_determinism: hash %s with %u threads differs from the golden hash %s\n", hex,
                     threads, golden.c_str());
        return 1;
    }
    return 0;
}
