// vorn_world in Python: a World of many bodies stepped without the interpreter lock, with its
// positions and velocities readable as NumPy views of the world's own arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <vorn/vorn_world.hpp>

#include "arrays.hpp"
#include "bindings.hpp"
#include "py_world.hpp"
#include "values.hpp"

namespace vorn::python {

namespace {

// The shared forms, overloaded below for this module's own types.
using python::reprOf;
using vorn_kernel::HomVec4;
using vorn_physics::VornBody;
using vorn_world::BodyId;
using vorn_world::Contact;
using vorn_world::Integrator;
using vorn_world::World;

// A read-only (N, 4) view of one of the world's component blocks, keeping the world alive.
py::array componentView(const py::object& self, World::Components components) {
    auto& owner = self.cast<PyWorld&>();
    const auto n = static_cast<py::ssize_t>(owner.world.size());
    ++owner.live_views;
    const py::capsule keeper(new py::object(self), [](void* p) {
        auto* held = static_cast<py::object*>(p);
        --held->cast<PyWorld&>().live_views;
        delete held;
    });
    const auto item = static_cast<py::ssize_t>(sizeof(double));
    py::array view(py::dtype::of<double>(), std::vector<py::ssize_t>{n, 4},
                   std::vector<py::ssize_t>{item, item * static_cast<py::ssize_t>(components.stride)},
                   components.data, keeper);
    view.attr("setflags")(py::arg("write") = false);
    return view;
}

py::dtype contactDtype() {
    py::list fields;
    fields.append(py::make_tuple("a", "<u8"));
    fields.append(py::make_tuple("b", "<u8"));
    fields.append(py::make_tuple("distance", "<f8"));
    return py::dtype::from_args(fields);
}

static_assert(sizeof(Contact) == 24 && offsetof(Contact, b) == 8 && offsetof(Contact, distance) == 16,
              "Contact is read as the record (a: u8, b: u8, distance: f8)");

py::array contactsArray(const std::vector<Contact>& contacts) {
    py::array out(contactDtype(), std::vector<py::ssize_t>{static_cast<py::ssize_t>(contacts.size())});
    if (!contacts.empty())
        std::memcpy(out.mutable_data(), contacts.data(), contacts.size() * sizeof(Contact));
    return out;
}

std::vector<Contact> contactsFrom(const py::array& records) {
    if (!records.dtype().equal(contactDtype()) || records.ndim() != 1) {
        throw py::type_error(
            "contacts: expected the array World.contacts returns (dtype a: u8, b: u8, distance: f8)");
    }
    const py::array contiguous = contiguousOf(records);
    std::vector<Contact> out(static_cast<std::size_t>(contiguous.shape(0)));
    if (!out.empty()) std::memcpy(out.data(), contiguous.data(), out.size() * sizeof(Contact));
    return out;
}

// The first of `bodies` that a World refuses (bodies.size() when none is): only called once the
// bulk add has refused them, to name the row.
std::size_t firstRefused(std::span<const VornBody> bodies) {
    World probe;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        try {
            probe.remove(probe.add(bodies[i]));
        } catch (const std::invalid_argument&) {
            return i;
        }
    }
    return bodies.size();
}

py::array_t<BodyId> addBodies(PyWorld& self, const py::object& positions, const py::object& velocities,
                              const py::object& masses, double restitution, double radius,
                              bool test_particle) {
    self.idle().requireNoViews("add bodies");
    const Points p = pointsOf(positions, "positions");
    const Points v = pointsOf(velocities, "velocities");
    requireSameLength(p, v, "positions", "velocities");
    const ScalarRows m(masses, p.shape(0), "masses");
    const auto ps = vecsOf(p);
    const auto vs = vecsOf(v);
    // The fields VornBody.init gives, but the position as given: the World puts it on the sphere.
    VornBody body = VornBody::init(HomVec4::fromCartesian(0.0, 0.0, 0.0), HomVec4::zero(), 0.0);
    body.restitution = restitution;
    std::vector<VornBody> bodies(ps.size(), body);
    for (std::size_t i = 0; i < ps.size(); ++i) {
        bodies[i].position = ps[i];
        bodies[i].velocity = vs[i];
        bodies[i].mass = m[i];
    }
    const vorn_world::BodyOptions options{.radius = radius, .test_particle = test_particle};
    py::array_t<BodyId> ids(p.shape(0));  // before the bodies go in: nothing can fail after that
    std::vector<BodyId> added;
    try {
        added = self.world.add(bodies, options);
    } catch (const std::invalid_argument& refused) {
        const std::size_t row = firstRefused(bodies);
        if (row == bodies.size()) throw;
        throw py::value_error("add_bodies: row " + std::to_string(row) +
                              " refused, no body added: " + refused.what());
    }
    std::copy(added.begin(), added.end(), ids.mutable_data());
    return ids;
}

// `value` (a 1-d array-like of integers, none negative) as ids; `what` names it in errors. A
// list that mixes NumPy's unsigned ids with Python ints (which NumPy would make floats) is read
// element by element, each taken only if it is an integer.
std::vector<BodyId> idsOf(const py::handle& value, const char* what) {
    const py::module_ numpy = py::module_::import("numpy");
    const py::array array = numpy.attr("asarray")(value);
    const auto refuse = [what] {
        return py::type_error(std::string(what) +
                              ": expected a 1-d array-like of integer ids, none negative");
    };
    if (array.ndim() != 1) throw refuse();
    std::vector<BodyId> ids(static_cast<std::size_t>(array.size()));
    const char kind = array.dtype().kind();
    if (kind == 'u') {
        const py::array_t<std::uint64_t, py::array::c_style | py::array::forcecast> u(array);
        std::copy_n(u.data(), ids.size(), ids.begin());
    } else if (kind == 'i') {
        const py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> i(array);
        for (std::size_t k = 0; k < ids.size(); ++k) {
            if (i.data()[k] < 0) throw refuse();
            ids[k] = static_cast<BodyId>(i.data()[k]);
        }
    } else {
        const py::object index = py::module_::import("operator").attr("index");
        const py::list items = numpy.attr("asarray")(value, py::arg("dtype") = "object").attr("tolist")();
        for (std::size_t k = 0; k < ids.size(); ++k) {
            py::object id;
            try {
                id = index(items[k]);
            } catch (const py::error_already_set&) {
                throw refuse();
            }
            if (id < py::int_(0)) throw refuse();
            ids[k] = id.cast<BodyId>();
        }
    }
    return ids;
}

// The bodies a bulk write names: every body (ids None) or the bodies `ids`, in their order.
struct Chosen {
    bool all;
    std::vector<BodyId> ids;
    std::size_t count;
};
Chosen chosenOf(const World& world, const py::object& ids) {
    if (ids.is_none()) return {true, {}, world.size()};
    std::vector<BodyId> chosen = idsOf(ids, "ids");
    const std::size_t count = chosen.size();
    return {false, std::move(chosen), count};
}

// Writes `values` to the chosen bodies through World's member for every body or for a set.
template <class Value>
void writeTo(World& world, const Chosen& chosen, std::span<const Value> values,
             void (World::*every)(std::span<const Value>),
             void (World::*some)(std::span<const BodyId>, std::span<const Value>)) {
    if (chosen.all) {
        (world.*every)(values);
    } else {
        (world.*some)(chosen.ids, values);
    }
}

// An (N, 4) field of every body or of the bodies `ids`, one row a body.
void setVectors(PyWorld& self, const py::object& values, const py::object& ids, const char* what,
                void (World::*every)(std::span<const HomVec4>),
                void (World::*some)(std::span<const BodyId>, std::span<const HomVec4>)) {
    World& world = self.idle().world;
    const Chosen chosen = chosenOf(world, ids);
    const Points rows = pointsOf(values, what);
    if (static_cast<std::size_t>(rows.shape(0)) != chosen.count) {
        throw py::value_error(std::string(what) + ": expected " + std::to_string(chosen.count) +
                              " rows, got " + std::to_string(rows.shape(0)));
    }
    writeTo(world, chosen, vecsOf(rows), every, some);
}

// The masses of every body or of the bodies `ids`: a number, or one a body.
void setMasses(PyWorld& self, const py::object& masses, const py::object& ids) {
    World& world = self.idle().world;
    const Chosen chosen = chosenOf(world, ids);
    const ScalarRows rows(masses, static_cast<py::ssize_t>(chosen.count), "masses");
    std::vector<double> values(chosen.count);
    for (std::size_t k = 0; k < values.size(); ++k) values[k] = rows[k];
    writeTo<double>(world, chosen, values, &World::setMasses, &World::setMasses);
}

// Whether the calling thread is Python's main thread, the only one that runs signal handlers.
bool onMainThread() {
    const py::module_ threading = py::module_::import("threading");
    return threading.attr("main_thread")().is(threading.attr("current_thread")());
}

// Calls `advance` (a step, or a batch of steps; it returns whether more are left) without the
// interpreter lock. With `check_signals` (the main thread), a signal that arrived (Ctrl-C) has
// its handler run between two calls, at most every few milliseconds; an exception from the
// handler (KeyboardInterrupt) ends the run there, after a whole step.
template <class Advance>
void advanceUnlocked(PyWorld& w, bool check_signals, Advance&& advance) {
    using Clock = std::chrono::steady_clock;
    constexpr auto signal_interval = std::chrono::milliseconds(5);
    w.stepping = true;
    try {
        const py::gil_scoped_release unlocked;
        auto last_check = Clock::now();
        while (advance()) {
            if (!check_signals) continue;
            const auto now = Clock::now();
            if (now - last_check < signal_interval) continue;
            last_check = now;
            const py::gil_scoped_acquire locked;
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        }
    } catch (...) {
        w.stepping = false;
        throw;
    }
    w.stepping = false;
}

// World.integrate: World::integrate in batches of 16 steps, the signal handlers run between
// batches.
std::uint64_t integrateWorld(PyWorld& w, double t_end, Integrator integrator, double dt) {
    w.idle();
    std::uint64_t taken = 0;
    advanceUnlocked(w, onMainThread(), [&] {
        const std::uint64_t batch = w.world.integrate(t_end, integrator, dt, 16);
        taken += batch;
        return batch == 16;
    });
    return taken;
}

// World.step: `steps` steps, the signal handlers run between two of them.
void stepWorld(PyWorld& w, double dt, Integrator integrator, std::uint64_t steps) {
    w.idle();
    if (steps == 0) return;
    std::uint64_t done = 0;
    advanceUnlocked(w, steps > 1 && onMainThread(), [&] {
        w.world.step(dt, integrator);
        return ++done < steps;
    });
}

std::string reprOf(const vorn_world::Attractor& a) {
    return "Attractor(position=" + reprOf(a.position) + ", mass=" + reprOf(a.mass) + ")";
}

// GravitySolver::Method as Python names it, and back (ValueError for another name).
const char* methodName(vorn_world::GravitySolver::Method method) {
    using Method = vorn_world::GravitySolver::Method;
    switch (method) {
        case Method::direct:
            return "direct";
        case Method::tree:
            return "tree";
        default:
            return "automatic";
    }
}

vorn_world::GravitySolver::Method methodOf(const std::string& name) {
    using Method = vorn_world::GravitySolver::Method;
    for (const Method method : {Method::automatic, Method::direct, Method::tree}) {
        if (name == methodName(method)) return method;
    }
    throw py::value_error("the gravity solver's method must be 'automatic', 'direct' or 'tree'; got " +
                          std::string(py::repr(py::str(name))));
}

std::string reprOf(const vorn_world::GravitySolver& s) {
    return std::string("GravitySolver('") + methodName(s.method) + "', theta=" + reprOf(s.theta) +
           ", order=" + std::to_string(s.order) + ")";
}

std::string reprOf(const vorn_world::Bivector& b) {
    return "Bivector(xy=" + reprOf(b.xy) + ", xz=" + reprOf(b.xz) + ", xw=" + reprOf(b.xw) +
           ", yz=" + reprOf(b.yz) + ", yw=" + reprOf(b.yw) + ", zw=" + reprOf(b.zw) + ")";
}

}  // namespace

void bindWorld(py::module_& m) {
    py::enum_<Integrator>(m, "Integrator", "How World.step advances the bodies.")
        .value("compat", Integrator::compat,
               "integrateStep per body under the step's starting forces (first order)")
        .value("kdk", Integrator::kdk,
               "kick-drift-kick with the exact great-circle drift (symplectic, second order)")
        .value("yoshida4", Integrator::yoshida4, "three kdk steps composed (symplectic, fourth order)")
        .value(
            "adaptive", Integrator::adaptive,
            "Gauss-Radau predictor-corrector of order 15 with steps of its own (World.adaptive_tolerance)");

    using vorn_world::Attractor;
    py::class_<Attractor>(m, "Attractor", "A fixed point mass of a World.")
        .def(py::init([](HomVec4 position, double mass) {
                 return Attractor{position, mass};
             }),
             py::arg("position"), py::arg("mass"), "The attractor (position, mass), stored as given.")
        .def_readonly("position", &Attractor::position, "Where it is (unit length in a World).")
        .def_readonly("mass", &Attractor::mass, "Its mass.")
        .def("__repr__", [](const Attractor& a) { return reprOf(a); })
        .def(
            "__eq__",
            [](const Attractor& a, const Attractor& b) {
                return equal(a.position, b.position) && a.mass == b.mass;
            },
            py::is_operator())
        .def(py::pickle([](const Attractor& a) { return py::make_tuple(a.position, a.mass); },
                        [](const py::tuple& t) {
                            return Attractor{t[0].cast<HomVec4>(), t[1].cast<double>()};
                        }));

    using vorn_world::Bivector;
    py::class_<Bivector>(m, "Bivector", "Σ m·q∧v: components xy, xz, xw, yz, yw, zw.")
        .def(py::init([](double xy, double xz, double xw, double yz, double yw, double zw) {
                 return Bivector{xy, xz, xw, yz, yw, zw};
             }),
             py::arg("xy") = 0.0, py::arg("xz") = 0.0, py::arg("xw") = 0.0, py::arg("yz") = 0.0,
             py::arg("yw") = 0.0, py::arg("zw") = 0.0, "The bivector of the six components, stored as given.")
        .def_readonly("xy", &Bivector::xy, "Σ m·(q_x·v_y - q_y·v_x).")
        .def_readonly("xz", &Bivector::xz, "Σ m·(q_x·v_z - q_z·v_x).")
        .def_readonly("xw", &Bivector::xw, "Σ m·(q_x·v_w - q_w·v_x).")
        .def_readonly("yz", &Bivector::yz, "Σ m·(q_y·v_z - q_z·v_y).")
        .def_readonly("yw", &Bivector::yw, "Σ m·(q_y·v_w - q_w·v_y).")
        .def_readonly("zw", &Bivector::zw, "Σ m·(q_z·v_w - q_w·v_z).")
        .def(
            "__array__",
            [](const Bivector& b, const py::object& /*dtype*/) {
                Scalars out = newScalars(6);
                double* d = out.mutable_data();
                d[0] = b.xy;
                d[1] = b.xz;
                d[2] = b.xw;
                d[3] = b.yz;
                d[4] = b.yw;
                d[5] = b.zw;
                return out;
            },
            py::arg("dtype") = py::none())
        .def("__repr__", [](const Bivector& b) { return reprOf(b); })
        .def(
            "__eq__",
            [](const Bivector& a, const Bivector& b) {
                return a.xy == b.xy && a.xz == b.xz && a.xw == b.xw && a.yz == b.yz && a.yw == b.yw &&
                       a.zw == b.zw;
            },
            py::is_operator())
        .def(py::pickle([](const Bivector& b) { return py::make_tuple(b.xy, b.xz, b.xw, b.yz, b.yw, b.zw); },
                        [](const py::tuple& t) {
                            return Bivector{t[0].cast<double>(), t[1].cast<double>(), t[2].cast<double>(),
                                            t[3].cast<double>(), t[4].cast<double>(), t[5].cast<double>()};
                        }));

    using vorn_world::GravitySolver;
    const std::string solver_doc =
        "How kdk and yoshida4 sum mutual gravity: 'automatic' (direct below " +
        std::to_string(vorn_world::AUTOMATIC_TREE_SOURCES) +
        " sources, the tree with the default theta and order from there), 'direct', or 'tree' (cells "
        "narrower than theta times their distance stand in for their members, expanded to `order`).";
    py::class_<GravitySolver>(m, "GravitySolver", solver_doc.c_str())
        .def(py::init([](const std::string& method, double theta, std::uint32_t order) {
                 return GravitySolver{methodOf(method), theta, order};
             }),
             py::arg("method") = "automatic", py::arg("theta") = GravitySolver{}.theta,
             py::arg("order") = GravitySolver{}.order,
             "The solver (method, theta, order), stored as given; World.gravity_solver checks it.")
        .def_property_readonly(
            "method", [](const GravitySolver& s) { return methodName(s.method); },
            "'automatic', 'direct' or 'tree'.")
        .def_readonly("theta", &GravitySolver::theta, "The tree's opening angle, in [0, 1).")
        .def_readonly("order", &GravitySolver::order, "The tree's expansion order, 1 or 2.")
        .def("__repr__", [](const GravitySolver& s) { return reprOf(s); })
        .def(
            "__eq__", [](const GravitySolver& a, const GravitySolver& b) { return a == b; },
            py::is_operator())
        .def(py::pickle(
            [](const GravitySolver& s) { return py::make_tuple(methodName(s.method), s.theta, s.order); },
            [](const py::tuple& t) {
                return GravitySolver{methodOf(t[0].cast<std::string>()), t[1].cast<double>(),
                                     t[2].cast<std::uint32_t>()};
            }));

    m.def("gravity_acceleration", &vorn_world::gravityAcceleration, py::arg("p"), py::arg("source"),
          py::arg("gm"), py::arg("softening") = vorn_world::GRAVITY_SOFTENING,
          "The acceleration a source of G·M = gm at `source` gives a body at p (both unit).");
    m.def("gravity_potential", &vorn_world::gravityPotential, py::arg("p"), py::arg("source"), py::arg("gm"),
          py::arg("softening") = vorn_world::GRAVITY_SOFTENING,
          "The potential energy per unit mass of a body at p near a source of G·M = gm (zero at d = pi/2).");

    py::class_<PyWorld>(m, "World",
                        "Many bodies on the 3-sphere stepped together. Positions and velocities read as "
                        "(N, 4) NumPy views in storage (id) order; while a view exists, bodies cannot be "
                        "added or removed (BufferError), and a view shows the values after each step.")
        .def(py::init([](double G, bool mutual_gravity, unsigned threads) {
                 auto w = std::make_unique<PyWorld>(G);
                 w->world.setMutualGravity(mutual_gravity);
                 w->setThreads(threads);
                 return w;
             }),
             py::arg("G") = 1.0, py::arg("mutual_gravity") = false, py::arg("threads") = 1,
             "An empty world of gravitational constant G.")
        .def_property(
            "G", [](const PyWorld& w) { return w.idle().world.gravitationalConstant(); },
            [](PyWorld& w, double G) { w.idle().world.setGravitationalConstant(G); },
            "The gravitational constant (finite, 0 to 2^100).")
        .def_property(
            "mutual_gravity", [](const PyWorld& w) { return w.idle().world.mutualGravity(); },
            [](PyWorld& w, bool on) { w.idle().world.setMutualGravity(on); },
            "Whether the moved bodies pull one another.")
        .def_property(
            "compensated", [](const PyWorld& w) { return w.idle().world.compensated(); },
            [](PyWorld& w, bool on) { w.idle().world.setCompensated(on); },
            "Whether kdk and yoshida4 carry the rounding of positions and velocities between steps.")
        .def_property(
            "softening", [](const PyWorld& w) { return w.idle().world.softening(); },
            [](PyWorld& w, double eps) { w.idle().world.setSoftening(eps); },
            "The softening of the law G*M/(sin^2 d + softening) (finite, at least 0).")
        .def_property(
            "gravity_solver", [](const PyWorld& w) { return w.idle().world.gravitySolver(); },
            [](PyWorld& w, const vorn_world::GravitySolver& solver) {
                w.idle().world.setGravitySolver(solver);
            },
            "How kdk and yoshida4 sum mutual gravity (a GravitySolver; automatic by default).")
        .def_property(
            "adaptive_tolerance", [](const PyWorld& w) { return w.idle().world.adaptiveTolerance(); },
            [](PyWorld& w, double tolerance) { w.idle().world.setAdaptiveTolerance(tolerance); },
            "The adaptive integrator's bound on |b6|/|a| (default 1e-10).")
        .def_property(
            "adaptive_step_limit", [](const PyWorld& w) { return w.idle().world.adaptiveStepLimit(); },
            [](PyWorld& w, std::uint64_t steps) { w.idle().world.setAdaptiveStepLimit(steps); },
            "The most steps one call may take with the adaptive integrator.")
        .def_property_readonly(
            "adaptive_report",
            [](const PyWorld& w) {
                const vorn_world::AdaptiveReport r = w.idle().world.adaptiveReport();
                py::dict report;
                report["steps"] = r.steps;
                report["rejected"] = r.rejected;
                report["evaluations"] = r.evaluations;
                report["next_step"] = r.next_step;
                return report;
            },
            "The adaptive integrator's steps accepted and rejected, force evaluations and next step.")
        .def_property_readonly(
            "time", [](const PyWorld& w) { return w.idle().world.time(); },
            "The time the steps have advanced (summed with compensation).")
        .def_property_readonly(
            "step_count", [](const PyWorld& w) { return w.idle().world.stepCount(); },
            "The steps taken (the adaptive integrator's own steps for it).")
        .def_property("threads", &PyWorld::threads, &PyWorld::setThreads,
                      "Threads a step runs on; results are the same bits for any number.")
        .def(
            "add",
            [](PyWorld& w, const VornBody& body, double radius, bool test_particle) {
                w.requireNoViews("add bodies");
                return w.idle().world.add(body, {.radius = radius, .test_particle = test_particle});
            },
            py::arg("body"), py::kw_only(), py::arg("radius") = 0.0, py::arg("test_particle") = false,
            "Adds a copy of the body, put on the sphere, with its radius (an angle, 0 to pi/2) and whether "
            "it is a test particle; returns its id.")
        .def(
            "add_bodies", &addBodies, py::arg("positions"), py::arg("velocities"), py::arg("masses"),
            py::arg("restitution") = 0.5, py::kw_only(), py::arg("radius") = 0.0,
            py::arg("test_particle") = false,
            "Adds dynamic bodies from (N, 4), (N, 4) and (N,) array-likes, all or none, each with the radius "
            "and test-particle flag given; returns their ids.")
        .def(
            "remove",
            [](PyWorld& w, BodyId id) {
                w.requireNoViews("remove bodies");
                w.idle().world.remove(id);
            },
            py::arg("id"), "Removes the body of that id.")
        .def(
            "remove_bodies",
            [](PyWorld& w, const py::object& ids) {
                w.requireNoViews("remove bodies");
                const std::vector<BodyId> chosen = idsOf(ids, "ids");
                w.idle().world.remove(chosen);
            },
            py::arg("ids"), "Removes the bodies of those ids in one pass: all, or none when one is unknown.")
        .def(
            "set_positions",
            [](PyWorld& w, const py::object& positions, const py::object& ids) {
                setVectors(w, positions, ids, "positions", &World::setPositions, &World::setPositions);
            },
            py::arg("positions"), py::kw_only(), py::arg("ids") = py::none(),
            "Sets the positions of every body (an (N, 4) array-like in storage order) or of the bodies "
            "`ids`, "
            "all or none, each put on the sphere with its velocity's part along it removed.")
        .def(
            "set_velocities",
            [](PyWorld& w, const py::object& velocities, const py::object& ids) {
                setVectors(w, velocities, ids, "velocities", &World::setVelocities, &World::setVelocities);
            },
            py::arg("velocities"), py::kw_only(), py::arg("ids") = py::none(),
            "Sets the velocities of every body or of the bodies `ids`, all or none, each made tangent.")
        .def("set_masses", &setMasses, py::arg("masses"), py::kw_only(), py::arg("ids") = py::none(),
             "Sets the masses of every body or of the bodies `ids` (a number or an (n,) array-like), all or "
             "none.")
        .def_property_readonly(
            "masses", [](const PyWorld& w) { return arrayOf(w.idle().world.masses()); },
            "A new array of the masses in storage order.")
        .def_property_readonly(
            "radii", [](const PyWorld& w) { return arrayOf(w.idle().world.radii()); },
            "A new array of the radii in storage order.")
        .def_property_readonly(
            "body_types", [](const PyWorld& w) { return arrayOf(w.idle().world.bodyTypes()); },
            "A new uint8 array of the body types (VornBody.BodyType's values) in storage order.")
        .def_property_readonly(
            "test_particles", [](const PyWorld& w) { return boolsOf(w.idle().world.testParticles()); },
            "A new bool array: whether each body, in storage order, is a test particle.")
        .def("__contains__", [](const PyWorld& w, BodyId id) { return w.idle().world.contains(id); })
        .def("__len__", [](const PyWorld& w) { return w.idle().world.size(); })
        .def(
            "body", [](const PyWorld& w, BodyId id) { return w.idle().world.body(id); }, py::arg("id"),
            "A copy of the body of that id, as stored.")
        .def(
            "set_body", [](PyWorld& w, BodyId id, const VornBody& b) { w.idle().world.setBody(id, b); },
            py::arg("id"), py::arg("body"), "Replaces the body of that id, put on the sphere.")
        .def(
            "apply_force", [](PyWorld& w, BodyId id, HomVec4 f) { w.idle().world.applyForce(id, f); },
            py::arg("id"), py::arg("force"), "Adds a force to the body's accumulator for the next step.")
        .def_property_readonly(
            "ids",
            [](const PyWorld& w) {
                const auto ids = w.idle().world.ids();
                return py::array_t<BodyId>(static_cast<py::ssize_t>(ids.size()), ids.data());
            },
            "A new array of the ids in storage order.")
        .def(
            "export_bodies", [](const PyWorld& w) { return w.idle().world.exportBodies(); },
            "Copies of every body in storage order.")
        .def_property_readonly(
            "positions",
            [](const py::object& self) {
                return componentView(self, self.cast<PyWorld&>().world.positionComponents());
            },
            "A read-only (N, 4) view of the positions in storage order.")
        .def_property_readonly(
            "velocities",
            [](const py::object& self) {
                return componentView(self, self.cast<PyWorld&>().world.velocityComponents());
            },
            "A read-only (N, 4) view of the velocities in storage order.")
        .def(
            "add_attractor", [](PyWorld& w, HomVec4 p, double mass) { w.idle().world.addAttractor(p, mass); },
            py::arg("position"), py::arg("mass"), "Adds a fixed point mass (its position normalised).")
        .def(
            "clear_attractors", [](PyWorld& w) { w.idle().world.clearAttractors(); },
            "Removes every attractor.")
        .def_property_readonly(
            "attractors",
            [](const PyWorld& w) {
                const auto a = w.idle().world.attractors();
                return std::vector<Attractor>(a.begin(), a.end());
            },
            "Copies of the attractors, in the order added.")
        .def("step", &stepWorld, py::arg("dt"), py::arg("integrator") = Integrator::kdk, py::arg("steps") = 1,
             "Advances every body by `steps` steps of length dt, without holding the interpreter lock.")
        .def(
            "accelerations",
            [](const PyWorld& w) {
                Points rows = newRows(static_cast<py::ssize_t>(w.idle().world.size()));
                w.world.accelerations(mutableVecsOf(rows));
                return rows;
            },
            "The gravitational acceleration of every body in storage order, an (N, 4) array.")
        .def("integrate", &integrateWorld, py::arg("t_end"), py::arg("integrator"), py::arg("dt"),
             "Steps of dt until time is t_end exactly, the last one shortened; returns the steps taken.")
        .def(
            "kinetic_energy", [](const PyWorld& w) { return w.idle().world.kineticEnergy(); },
            "The kinetic energy of the moved bodies, to the last bits.")
        .def(
            "potential_energy", [](const PyWorld& w) { return w.idle().world.potentialEnergy(); },
            "The potential energy of the moved bodies (zero at distance pi/2), to the last bits.")
        .def(
            "energy", [](const PyWorld& w) { return w.idle().world.energy(); },
            "Kinetic plus potential energy of the moved bodies, to the last bits.")
        .def(
            "angular_momentum", [](const PyWorld& w) { return w.idle().world.angularMomentum(); },
            "The angular-momentum bivector Σ (m·q∧v + spin) of the moved bodies.")
        .def(
            "spin", [](const PyWorld& w, BodyId id) { return w.idle().world.spin(id); }, py::arg("id"),
            "The angular momentum mergers left in the body beyond m·q∧v (zero if it never absorbed one).")
        .def(
            "contacts",
            [](const PyWorld& w, double threshold) {
                return contactsArray(w.idle().world.contacts(threshold));
            },
            py::arg("threshold"),
            "Pairs closer than `threshold` (Fubini–Study angle): a record array (a, b, distance), a < b, "
            "sorted.")
        .def(
            "resolve_contacts",
            [](PyWorld& w, const py::array& contacts) {
                w.idle().world.resolveContacts(contactsFrom(contacts));
            },
            py::arg("contacts"), "Applies the restitution impulses for contacts from World.contacts.")
        .def(
            "touching_contacts",
            [](const PyWorld& w) { return contactsArray(w.idle().world.touchingContacts()); },
            "Pairs closer than the sum of their radii (a body of radius 0 touches nothing): a record array "
            "(a, b, distance), a < b, sorted.")
        .def(
            "merge_contacts",
            [](PyWorld& w, const py::array& contacts) {
                w.idle().requireNoViews("merge bodies");
                const std::vector<vorn_world::Merger> mergers = w.world.mergeContacts(contactsFrom(contacts));
                py::list out;
                for (const vorn_world::Merger& m : mergers) out.append(py::make_tuple(m.kept, m.absorbed));
                return out;
            },
            py::arg("contacts"),
            "Merges each touching pair of moved bodies into one that keeps the mass and the angular-momentum "
            "bivector (spin included); returns the mergers as a list of (kept, absorbed) ids in order.")
        .def("__repr__", [](const PyWorld& w) {
            return "World(" + std::to_string(w.idle().world.size()) + " bodies, " +
                   std::to_string(w.idle().world.attractors().size()) +
                   " attractors, G=" + reprOf(w.idle().world.gravitationalConstant()) +
                   (w.idle().world.mutualGravity() ? ", mutual gravity" : "") +
                   ", threads=" + std::to_string(w.threads()) + ")";
        });
}

}  // namespace vorn::python
