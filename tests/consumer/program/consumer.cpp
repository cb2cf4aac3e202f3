// A small program that uses the kernel the way an outside project does: it includes the
// installed header spelling <vorn/...>, links vorn::kernel (or -lvorn) and checks that the
// results it gets are the kernel's results.
#include <vorn/vorn_physics.hpp>

#include <cmath>
#include <cstdio>

#include "consumer_checks.hpp"

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "consumer: FAILED: %s\n", what);
        ++failures;
    }
}

// Forty steps of a body pulled toward an attractor a quarter of a turn away.
void checkBodyStaysOnSphere() {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0, 0.2, 0), 1.0);
    const HomVec4 attractor = HomVec4::init(0, 1, 0, 0);
    for (int step = 0; step < 40; ++step) {
        body.applyForce(vorn_physics::vornGravity(body, attractor, 0.5, 1.0));
        vorn_physics::integrateStep(body, 0.01, vorn_physics::dampingForce(body.velocity, 0.1));
    }
    check(std::fabs(body.position.norm() - 1.0) <= 1e-12, "a body stays on the unit sphere");
    check(std::fabs(HomVec4::dot(body.position, body.velocity)) <= 1e-12,
          "the velocity stays tangent to the sphere");
    check(body.position.y > 0.0, "gravity pulls the body toward the attractor");
    check(body.force_accum.x == 0.0 && body.force_accum.y == 0.0, "a step empties the accumulator");
}

void checkDistances() {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 q = HomVec4::init(0, 1, 0, 0);
    check(vorn_kernel::fsDistance(p, q) == 1.5707963267948966, "orthogonal points are pi/2 apart");
    check(vorn_kernel::fsDistance(p, HomVec4::init(-1, 0, 0, 0)) == 0.0, "v and -v are the same point");
    const auto contact = vorn_physics::checkCollision(VornBody::init(p, HomVec4::zero(), 1.0),
                                                      VornBody::init(q, HomVec4::zero(), 1.0), 0.1);
    check(!contact.collided, "bodies a quarter turn apart are not in contact");
}

}  // namespace

int main() {
    checkBodyStaysOnSphere();
    checkDistances();
    check(consumer::integratedQuarterTurnMatchesExact(), "fourth-order integration follows the great circle");
    check(consumer::inlineDotKeepsItsRounding(),
          "the inline dot product is not contracted into fused multiply-adds");
    if (failures != 0) return 1;
    std::puts("consumer: ok");
    return 0;
}
