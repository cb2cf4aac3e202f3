// The live page's world, compiled to WebAssembly: C functions its script calls to start a
// scene, step it, read the positions and the energy, and compare the scene's hash with the
// native table. One scene at a time; a call that fails returns 0 and leaves its message for
// live_error().
#include <emscripten/emscripten.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "live_scene.hpp"

namespace {

struct Page {
    std::unique_ptr<live::LiveScene> scene;
    std::vector<double> positions;   // x, y, z, w of each body
    std::vector<double> attractors;  // x, y, z, w of each attractor
    std::string hash;
    std::string error;
};

Page& page() {
    static Page instance;
    return instance;
}

bool integratorAt(int index, vorn_world::Integrator& integrator) {
    if (index < 0 || static_cast<std::size_t>(index) >= live::INTEGRATORS.size()) return false;
    integrator = live::INTEGRATORS[static_cast<std::size_t>(index)].integrator;
    return true;
}

int failed(const std::string& message) {
    page().error = message;
    return 0;
}

}  // namespace

extern "C" {

// A new scene of `bodies` bodies (1 to 1024) stepped by the integrator at `integrator` in the
// native table's order.
EMSCRIPTEN_KEEPALIVE int live_start(int bodies, int integrator_index) {
    vorn_world::Integrator integrator{};
    if (bodies < 1 || bodies > 1024) return failed("the number of bodies must be from 1 to 1024");
    if (!integratorAt(integrator_index, integrator)) return failed("no such integrator");
    try {
        page().scene = std::make_unique<live::LiveScene>(bodies, integrator);
    } catch (const std::exception& e) {
        return failed(e.what());
    }
    return 1;
}

EMSCRIPTEN_KEEPALIVE int live_step(int count) {
    if (!page().scene) return failed("no scene");
    try {
        page().scene->step(static_cast<std::uint64_t>(count < 0 ? 0 : count));
    } catch (const std::exception& e) {
        return failed(e.what());
    }
    return 1;
}

EMSCRIPTEN_KEEPALIVE double live_steps() {
    return page().scene ? static_cast<double>(page().scene->steps()) : 0.0;
}

EMSCRIPTEN_KEEPALIVE double live_time() { return page().scene ? page().scene->world().time() : 0.0; }

EMSCRIPTEN_KEEPALIVE double live_energy() { return page().scene ? page().scene->world().energy() : 0.0; }

EMSCRIPTEN_KEEPALIVE int live_body_count() {
    return page().scene ? static_cast<int>(page().scene->world().size()) : 0;
}

// x, y, z, w of every body in storage order, valid until the next call into the page's world.
EMSCRIPTEN_KEEPALIVE const double* live_positions() {
    Page& p = page();
    p.positions.clear();
    if (!p.scene) return nullptr;
    const auto& world = p.scene->world();
    const auto components = world.positionComponents();
    for (std::size_t i = 0; i < world.size(); ++i) {
        for (std::size_t c = 0; c < 4; ++c) p.positions.push_back(components.data[c * components.stride + i]);
    }
    return p.positions.data();
}

EMSCRIPTEN_KEEPALIVE int live_attractor_count() {
    return page().scene ? static_cast<int>(page().scene->world().attractors().size()) : 0;
}

EMSCRIPTEN_KEEPALIVE const double* live_attractors() {
    Page& p = page();
    p.attractors.clear();
    if (!p.scene) return nullptr;
    for (const auto& a : p.scene->world().attractors()) {
        p.attractors.insert(p.attractors.end(), {a.position.x, a.position.y, a.position.z, a.position.w});
    }
    return p.attractors.data();
}

// The scene's hash in hex once its hashed steps are done, else an empty string.
EMSCRIPTEN_KEEPALIVE const char* live_hash() {
    Page& p = page();
    p.hash = p.scene && p.scene->hashComplete() ? live::hexOf(p.scene->hash()) : "";
    return p.hash.c_str();
}

// A fresh scene of `bodies` bodies stepped through its hashed steps, apart from the shown one:
// its hash in hex, or an empty string when it failed (live_error says why).
EMSCRIPTEN_KEEPALIVE const char* live_check(int bodies, int integrator_index) {
    Page& p = page();
    p.hash.clear();
    vorn_world::Integrator integrator{};
    if (bodies < 1 || bodies > 1024 || !integratorAt(integrator_index, integrator)) {
        failed("no such scene");
        return p.hash.c_str();
    }
    try {
        live::LiveScene scene(bodies, integrator);
        scene.step(live::HASHED_STEPS);
        p.hash = live::hexOf(scene.hash());
    } catch (const std::exception& e) {
        failed(e.what());
    }
    return p.hash.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* live_error() { return page().error.c_str(); }

}  // extern "C"
