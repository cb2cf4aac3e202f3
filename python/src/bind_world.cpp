// vorn_world in Python: a World of many bodies stepped without the interpreter lock, with its
// positions and velocities readable as NumPy views of the world's own arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <vorn/vorn_world.hpp>

#include "arrays.hpp"
#include "bindings.hpp"

namespace vorn::python {

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;
using vorn_world::BodyId;
using vorn_world::Contact;
using vorn_world::Integrator;
using vorn_world::World;

// The world as Python holds it: the world, the threads it steps on, and how many NumPy views of
// its arrays are alive (while any is, the arrays must not move, so bodies cannot come or go).
struct PyWorld {
    explicit PyWorld(double G) : world(G) {}
    World world;
    std::unique_ptr<vorn_world::ThreadPool> pool;
    std::size_t live_views = 0;
    bool stepping = false;  // a step runs in another thread, without the interpreter lock

    // Every method but the views' reads calls this first: a World is not safe to change from two
    // threads, and a step gives up the interpreter lock.
    PyWorld& idle() {
        if (stepping) throw std::runtime_error("the world is being stepped in another thread");
        return *this;
    }
    const PyWorld& idle() const { return const_cast<PyWorld*>(this)->idle(); }

    void requireNoViews(const char* what) const {
        if (live_views > 0) {
            throw py::buffer_error(std::string("cannot ") + what +
                                   " while NumPy views of the world's positions or velocities exist; "
                                   "delete them (or copy them with .copy()) first");
        }
    }
    void setThreads(unsigned threads) {
        idle();
        if (threads == 0) throw py::value_error("threads must be at least 1");
        world.setParallelFor(vorn_world::serialFor());
        pool.reset();
        if (threads > 1) {
            pool = std::make_unique<vorn_world::ThreadPool>(threads);
            world.setParallelFor(pool->parallelFor());
        }
    }
    unsigned threads() const { return pool ? pool->threads() : 1U; }
};

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
    const py::array contiguous = py::array::ensure(records, py::array::c_style);
    std::vector<Contact> out(static_cast<std::size_t>(contiguous.shape(0)));
    if (!out.empty()) std::memcpy(out.data(), contiguous.data(), out.size() * sizeof(Contact));
    return out;
}

py::array_t<BodyId> addBodies(PyWorld& self, const py::array& positions, const py::array& velocities,
                              const py::array& masses, double restitution) {
    self.idle().requireNoViews("add bodies");
    const Points p = pointsOf(positions, "positions");
    const Points v = pointsOf(velocities, "velocities");
    requireSameLength(p, v, "positions", "velocities");
    const auto m = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(masses);
    if (!m || m.ndim() != 1 || m.shape(0) != p.shape(0)) {
        throw py::value_error("masses: expected an array of shape (N,) with N = " +
                              std::to_string(p.shape(0)));
    }
    py::array_t<BodyId> ids(p.shape(0));
    BodyId* out = ids.mutable_data();
    for (py::ssize_t i = 0; i < p.shape(0); ++i) {
        VornBody body = VornBody::init(rowAt(p.data(), static_cast<std::size_t>(i)),
                                       rowAt(v.data(), static_cast<std::size_t>(i)), m.data()[i]);
        body.restitution = restitution;
        out[i] = self.world.add(body);
    }
    return ids;
}

}  // namespace

void bindWorld(py::module_& m) {
    py::enum_<Integrator>(m, "Integrator", "How World.step advances the bodies.")
        .value("compat", Integrator::compat,
               "integrateStep per body under the step's starting forces (first order)")
        .value("kdk", Integrator::kdk,
               "kick-drift-kick with the exact great-circle drift (symplectic, second order)")
        .value("yoshida4", Integrator::yoshida4, "three kdk steps composed (symplectic, fourth order)");

    py::class_<vorn_world::Attractor>(m, "Attractor")
        .def_readonly("position", &vorn_world::Attractor::position)
        .def_readonly("mass", &vorn_world::Attractor::mass);

    py::class_<vorn_world::Bivector>(m, "Bivector", "Σ m·q∧v: components xy, xz, xw, yz, yw, zw.")
        .def_readonly("xy", &vorn_world::Bivector::xy)
        .def_readonly("xz", &vorn_world::Bivector::xz)
        .def_readonly("xw", &vorn_world::Bivector::xw)
        .def_readonly("yz", &vorn_world::Bivector::yz)
        .def_readonly("yw", &vorn_world::Bivector::yw)
        .def_readonly("zw", &vorn_world::Bivector::zw)
        .def(
            "__array__",
            [](const vorn_world::Bivector& b, const py::object& /*dtype*/) {
                return py::array_t<double>(6, std::vector<double>{b.xy, b.xz, b.xw, b.yz, b.yw, b.zw}.data());
            },
            py::arg("dtype") = py::none())
        .def("__repr__", [](const vorn_world::Bivector& b) {
            return "Bivector(xy=" + std::string(py::repr(py::float_(b.xy))) +
                   ", xz=" + std::string(py::repr(py::float_(b.xz))) +
                   ", xw=" + std::string(py::repr(py::float_(b.xw))) +
                   ", yz=" + std::string(py::repr(py::float_(b.yz))) +
                   ", yw=" + std::string(py::repr(py::float_(b.yw))) +
                   ", zw=" + std::string(py::repr(py::float_(b.zw))) + ")";
        });

    m.def("gravity_acceleration", &vorn_world::gravityAcceleration, py::arg("p"), py::arg("source"),
          py::arg("gm"));
    m.def("gravity_potential", &vorn_world::gravityPotential, py::arg("p"), py::arg("source"), py::arg("gm"));

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
             py::arg("G") = 1.0, py::arg("mutual_gravity") = false, py::arg("threads") = 1)
        .def_property(
            "G", [](const PyWorld& w) { return w.idle().world.gravitationalConstant(); },
            [](PyWorld& w, double G) { w.idle().world.setGravitationalConstant(G); })
        .def_property(
            "mutual_gravity", [](const PyWorld& w) { return w.idle().world.mutualGravity(); },
            [](PyWorld& w, bool on) { w.idle().world.setMutualGravity(on); })
        .def_property(
            "compensated", [](const PyWorld& w) { return w.idle().world.compensated(); },
            [](PyWorld& w, bool on) { w.idle().world.setCompensated(on); },
            "Whether kdk and yoshida4 carry the rounding of positions and velocities between steps.")
        .def_property("threads", &PyWorld::threads, &PyWorld::setThreads,
                      "Threads a step runs on; results are the same bits for any number.")
        .def(
            "add",
            [](PyWorld& w, const VornBody& body) {
                w.requireNoViews("add bodies");
                return w.idle().world.add(body);
            },
            py::arg("body"), "Adds a copy of the body; returns its id.")
        .def("add_bodies", &addBodies, py::arg("positions"), py::arg("velocities"), py::arg("masses"),
             py::arg("restitution") = 0.5,
             "Adds dynamic bodies from (N, 4), (N, 4) and (N,) arrays; returns their ids.")
        .def(
            "remove",
            [](PyWorld& w, BodyId id) {
                w.requireNoViews("remove bodies");
                w.idle().world.remove(id);
            },
            py::arg("id"))
        .def("__contains__", [](const PyWorld& w, BodyId id) { return w.idle().world.contains(id); })
        .def("__len__", [](const PyWorld& w) { return w.idle().world.size(); })
        .def(
            "body", [](const PyWorld& w, BodyId id) { return w.idle().world.body(id); }, py::arg("id"))
        .def(
            "set_body", [](PyWorld& w, BodyId id, const VornBody& b) { w.idle().world.setBody(id, b); },
            py::arg("id"), py::arg("body"))
        .def(
            "apply_force", [](PyWorld& w, BodyId id, HomVec4 f) { w.idle().world.applyForce(id, f); },
            py::arg("id"), py::arg("force"))
        .def_property_readonly("ids",
                               [](const PyWorld& w) {
                                   const auto ids = w.idle().world.ids();
                                   return py::array_t<BodyId>(static_cast<py::ssize_t>(ids.size()),
                                                              ids.data());
                               })
        .def("export_bodies", [](const PyWorld& w) { return w.idle().world.exportBodies(); })
        .def_property_readonly("positions",
                               [](const py::object& self) {
                                   return componentView(self,
                                                        self.cast<PyWorld&>().world.positionComponents());
                               })
        .def_property_readonly("velocities",
                               [](const py::object& self) {
                                   return componentView(self,
                                                        self.cast<PyWorld&>().world.velocityComponents());
                               })
        .def(
            "add_attractor", [](PyWorld& w, HomVec4 p, double mass) { w.idle().world.addAttractor(p, mass); },
            py::arg("position"), py::arg("mass"))
        .def("clear_attractors", [](PyWorld& w) { w.idle().world.clearAttractors(); })
        .def_property_readonly("attractors",
                               [](const PyWorld& w) {
                                   const auto a = w.idle().world.attractors();
                                   return std::vector<vorn_world::Attractor>(a.begin(), a.end());
                               })
        .def(
            "step",
            [](PyWorld& w, double dt, Integrator integrator, std::uint64_t steps) {
                w.idle().stepping = true;
                try {
                    const py::gil_scoped_release unlocked;
                    for (std::uint64_t i = 0; i < steps; ++i) w.world.step(dt, integrator);
                } catch (...) {
                    w.stepping = false;
                    throw;
                }
                w.stepping = false;
            },
            py::arg("dt"), py::arg("integrator") = Integrator::kdk, py::arg("steps") = 1,
            "Advances every body by `steps` steps of length dt, without holding the interpreter lock.")
        .def("accelerations",
             [](const PyWorld& w) {
                 std::vector<HomVec4> out(w.idle().world.size());
                 w.idle().world.accelerations(out);
                 Points rows = newPoints(static_cast<py::ssize_t>(out.size()));
                 for (std::size_t i = 0; i < out.size(); ++i) storeRow(rows.mutable_data(), i, out[i]);
                 return rows;
             })
        .def("energy", [](const PyWorld& w) { return w.idle().world.energy(); })
        .def("angular_momentum", [](const PyWorld& w) { return w.idle().world.angularMomentum(); })
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
        .def("__repr__", [](const PyWorld& w) {
            return "World(" + std::to_string(w.idle().world.size()) + " bodies, " +
                   std::to_string(w.idle().world.attractors().size()) + " attractors, G=" +
                   std::string(py::repr(py::float_(w.idle().world.gravitationalConstant()))) +
                   (w.idle().world.mutualGravity() ? ", mutual gravity" : "") +
                   ", threads=" + std::to_string(w.threads()) + ")";
        });
}

}  // namespace vorn::python
