// The checks of every value a World is given, and the normalisation of bodies on entry.
#include "vorn_world/inputs.hpp"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace vorn_world::detail {

std::string shown(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

namespace {

[[noreturn]] void refuse(std::string_view what, std::string_view rule, std::string_view value) {
    std::string message = "vorn_world: ";
    message.append(what).append(" must be ").append(rule).append("; got ").append(value);
    throw std::invalid_argument(message);
}

std::string shownVector(HomVec4 v) {
    return "(" + shown(v.x) + ", " + shown(v.y) + ", " + shown(v.z) + ", " + shown(v.w) + ")";
}

bool isFinite(HomVec4 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

}  // namespace

void checkMagnitude(std::string_view what, double value, bool non_negative) {
    if (!(std::fabs(value) <= MAX_MAGNITUDE) || (non_negative && value < 0.0)) {
        refuse(
            what,
            non_negative ? "finite, at least 0 and at most 2^100" : "finite and of magnitude at most 2^100",
            shown(value));
    }
}

void checkGravitySolver(const GravitySolver& solver) {
    using Method = GravitySolver::Method;
    if (solver.method != Method::automatic && solver.method != Method::direct &&
        solver.method != Method::tree)
        refuse("the gravity solver's method", "automatic, direct or tree",
               std::to_string(static_cast<int>(solver.method)));
    if (!(solver.theta >= 0.0 && solver.theta < 1.0))
        refuse("the tree's θ", "in [0, 1)", shown(solver.theta));
    if (solver.order != 1 && solver.order != 2)
        refuse("the tree's order", "1 or 2", std::to_string(solver.order));
}

void checkMagnitude(std::string_view what, HomVec4 value) {
    for (const double c : {value.x, value.y, value.z, value.w}) {
        if (!(std::fabs(c) <= MAX_MAGNITUDE))
            refuse(what, "finite with components of magnitude at most 2^100", shownVector(value));
    }
}

HomVec4 tangentAt(HomVec4 p, HomVec4 v) {
    // Again while a radial part is left: when the velocity is nearly radial, what one removal
    // leaves is the rounding of the whole speed, large beside the small tangential rest. Each
    // pass shrinks the radial part by about 2^-52, so a few passes reach any scale.
    for (int pass = 0; pass < 24; ++pass) {
        const double radial = HomVec4::dot(v, p);
        if (!(std::fabs(radial) > 0x1.0p-40 * v.norm())) break;
        v = HomVec4::init(v.x - radial * p.x, v.y - radial * p.y, v.z - radial * p.z, v.w - radial * p.w);
    }
    return v;
}

void checkOptions(const BodyOptions& options) {
    if (!(options.radius >= 0.0 && options.radius <= 1.5707963267948966))
        refuse("a body's radius", "between 0 and pi/2", shown(options.radius));
}

VornBody acceptedBody(const VornBody& body) {
    VornBody b = body;
    if (!isFinite(b.position) || !(b.position.norm() > 1e-15))
        refuse("a body's position", "finite and of length above 1e-15", shownVector(b.position));
    checkMagnitude("a body's velocity", b.velocity);
    checkMagnitude("a body's mass", b.mass);
    if (!(b.restitution >= 0.0 && b.restitution <= 1.0))
        refuse("a body's restitution", "between 0 and 1", shown(b.restitution));
    checkMagnitude("a body's friction", b.friction);
    checkMagnitude("a body's accumulated force", b.force_accum);
    switch (b.body_type) {
        case VornBody::BodyType::static_:
        case VornBody::BodyType::dynamic:
        case VornBody::BodyType::kinematic:
            break;
        default:
            refuse("a body's type", "static_, dynamic or kinematic",
                   std::to_string(static_cast<unsigned>(b.body_type)));
    }
    const HomVec4 q = b.position;
    if (!(std::fabs(HomVec4::dot(q, q) - 1.0) <= 0x1.0p-40)) b.position = q.normalize();
    b.velocity = tangentAt(b.position, b.velocity);
    return b;
}

}  // namespace vorn_world::detail
