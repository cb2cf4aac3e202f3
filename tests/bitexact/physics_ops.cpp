#include "bit_line.hpp"
#include "ops.hpp"

namespace vorn::bitexact {

namespace {

using vorn_physics::VornBody;

void printBodies(const Battery& b, BitLine& line) {
    for (std::size_t i = 0; i < b.vectors.size(); ++i) {
        const HomVec4 v = b.vectors[i];
        const HomVec4 vel = b.vectors[(i + 1) % b.vectors.size()];
        const double mass = b.scalars[i % b.scalars.size()];
        VornBody body = VornBody::init(v, vel, mass);
        line.start("init", i).body(body).end();
        body.applyForce(b.vectors[(i + 2) % b.vectors.size()]);
        body.applyForce(b.vectors[(i + 3) % b.vectors.size()]);
        line.start("applyForce", i).body(body).end();
        body.clearForces();
        line.start("clearForces", i).body(body).end();
        VornBody fixed = VornBody::static_(v);
        fixed.applyForce(vel);
        line.start("static_", i).body(fixed).end();
        line.start("dampingForce", i).f64(mass).vec(vorn_physics::dampingForce(vel, mass)).end();
    }
}

void printInteractions(const Battery& b, BitLine& line) {
    for (std::size_t i = 0; i < b.pairs.size(); ++i) {
        const VornBody a = VornBody::init(b.pairs[i].first, HomVec4::zero(), 1.0);
        const VornBody c = VornBody::init(b.pairs[i].second, HomVec4::zero(), 1.0);
        line.start("distanceTo", i).f64(a.distanceTo(c)).end();
        line.start("vornGravity", i).vec(vorn_physics::vornGravity(a, b.pairs[i].second, 2.5, 0.75)).end();
        for (const double threshold : {0.0, 1e-10, 0.1, 1.6}) {
            const vorn_physics::CollisionResult r = vorn_physics::checkCollision(a, c, opaque(threshold));
            line.start("checkCollision", i)
                .f64(threshold)
                .f64(r.fs_distance)
                .vec(r.normal)
                .flag(r.collided)
                .end();
        }
    }
}

void printSteps(const Battery& b, BitLine& line) {
    for (std::size_t i = 0; i < b.points.size(); ++i) {
        for (std::size_t k = i % 3; k < b.vectors.size(); k += 83) {
            VornBody body = VornBody::init(b.points[i], b.tangents[i], b.scalars[(i + k) % b.scalars.size()]);
            body.applyForce(b.tangents[(i + 1) % b.tangents.size()]);
            const double dt = b.scalars[(3 * i + k) % b.scalars.size()];
            vorn_physics::integrateStep(body, dt, b.vectors[k]);
            line.start("integrateStep", i).f64(dt).u64(k).body(body).end();
        }
        VornBody body = VornBody::init(b.points[i], b.tangents[i], 1.0);
        for (int step = 0; step < 20; ++step)
            vorn_physics::integrateStep(body, opaque(0.05), HomVec4::zero());
        line.start("integrateStep20", i).body(body).end();
    }
}

}  // namespace

void printPhysicsOps(const Battery& battery, std::string& out) {
    BitLine line(out);
    printBodies(battery, line);
    printInteractions(battery, line);
    printSteps(battery, line);
}

}  // namespace vorn::bitexact
