// Snapshots of a World in Python: bytes, files, pickle and copies through one format, series of
// snapshots, and the state as a dictionary of NumPy arrays (for World.to_npz).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include <vorn/vorn_snapshot_series.hpp>
#include <vorn/vorn_world.hpp>

#include "arrays.hpp"
#include "bindings.hpp"
#include "py_world.hpp"

namespace vorn::python {

namespace {

using vorn_world::SnapshotSeries;
using vorn_world::World;

py::bytes snapshotOf(const PyWorld& w) {
    const std::vector<std::byte> bytes = w.idle().world.snapshot();
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::unique_ptr<PyWorld> worldFrom(World world, unsigned threads) {
    auto w = std::make_unique<PyWorld>(std::move(world));
    w->setThreads(threads);
    return w;
}

std::unique_ptr<PyWorld> worldFromBytes(const py::buffer& data, unsigned threads) {
    const py::buffer_info info = data.request();
    if (info.ndim != 1 || info.itemsize != 1 || info.strides[0] != 1)
        throw py::type_error("a snapshot is a contiguous bytes-like object");
    const std::span<const std::byte> bytes(static_cast<const std::byte*>(info.ptr),
                                           static_cast<std::size_t>(info.size));
    return worldFrom(World::fromSnapshot(bytes), threads);
}

// Every body's fields and the attractors as arrays in storage order (copies).
py::dict arraysOf(const PyWorld& w) {
    const World& world = w.idle().world;
    const std::vector<vorn_physics::VornBody> bodies = world.exportBodies();
    const auto n = static_cast<py::ssize_t>(bodies.size());
    std::vector<double> positions, velocities, forces, restitution, friction, spins;
    std::vector<std::uint8_t> active;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const vorn_physics::VornBody& b = bodies[i];
        positions.insert(positions.end(), {b.position.x, b.position.y, b.position.z, b.position.w});
        velocities.insert(velocities.end(), {b.velocity.x, b.velocity.y, b.velocity.z, b.velocity.w});
        forces.insert(forces.end(), {b.force_accum.x, b.force_accum.y, b.force_accum.z, b.force_accum.w});
        restitution.push_back(b.restitution);
        friction.push_back(b.friction);
        active.push_back(b.active ? 1 : 0);
        const vorn_world::Bivector s = world.spin(world.ids()[i]);
        spins.insert(spins.end(), {s.xy, s.xz, s.xw, s.yz, s.yw, s.zw});
    }
    std::vector<double> attractor_positions, attractor_masses;
    for (const vorn_world::Attractor& a : world.attractors()) {
        attractor_positions.insert(attractor_positions.end(),
                                   {a.position.x, a.position.y, a.position.z, a.position.w});
        attractor_masses.push_back(a.mass);
    }
    const auto copyOf = [](const std::vector<double>& values, std::vector<py::ssize_t> shape) {
        return arrayOf(std::span<const double>(values), std::move(shape));
    };
    py::dict out;
    out["ids"] = arrayOf(world.ids());
    out["positions"] = copyOf(positions, {n, 4});
    out["velocities"] = copyOf(velocities, {n, 4});
    out["forces"] = copyOf(forces, {n, 4});
    out["masses"] = arrayOf(world.masses());
    out["radii"] = arrayOf(world.radii());
    out["restitution"] = copyOf(restitution, {n});
    out["friction"] = copyOf(friction, {n});
    out["body_types"] = arrayOf(world.bodyTypes());
    out["active"] = boolsOf(active);
    out["test_particles"] = boolsOf(world.testParticles());
    out["spins"] = copyOf(spins, {n, 6});
    const auto attractors = static_cast<py::ssize_t>(attractor_masses.size());
    out["attractor_positions"] = copyOf(attractor_positions, {attractors, 4});
    out["attractor_masses"] = copyOf(attractor_masses, {attractors});
    return out;
}

}  // namespace

void bindSnapshots(py::module_& m) {
    py::register_exception<vorn_world::SnapshotError>(m, "SnapshotError", PyExc_ValueError);
    m.attr("SnapshotError").attr("__doc__") =
        "A snapshot that is damaged, cut short, of another format version or not a snapshot at all.";
    // A file that cannot be read or written: OSError with its errno and name (FileNotFoundError, ...).
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const std::filesystem::filesystem_error& e) {
            const py::object error =
                py::module_::import("builtins")
                    .attr("OSError")(e.code().value(), e.code().message(), e.path1().string());
            PyErr_SetObject(error.get_type().ptr(), error.ptr());
        }
    });

    auto world = py::reinterpret_borrow<py::class_<PyWorld>>(m.attr("World"));
    world
        .def("snapshot", &snapshotOf,
             "Everything that determines the world's future as bytes: World.from_snapshot restores a world "
             "that steps to the same bits.")
        .def_static("from_snapshot", &worldFromBytes, py::arg("data"), py::kw_only(), py::arg("threads") = 1,
                    "The world a snapshot holds (SnapshotError if it is damaged, cut short or not one).")
        .def(
            "save", [](const PyWorld& w, const std::filesystem::path& path) { w.idle().world.save(path); },
            py::arg("path"),
            "Writes the snapshot to a temporary beside `path` and renames it over `path` when complete.")
        .def_static(
            "load",
            [](const std::filesystem::path& path, unsigned threads) {
                return worldFrom(World::load(path), threads);
            },
            py::arg("path"), py::kw_only(), py::arg("threads") = 1, "The world saved at `path`.")
        .def("__copy__",
             [](const PyWorld& w) {
                 return worldFrom(World::fromSnapshot(w.idle().world.snapshot()), w.threads());
             })
        .def(
            "__deepcopy__",
            [](const PyWorld& w, const py::dict& /*memo*/) {
                return worldFrom(World::fromSnapshot(w.idle().world.snapshot()), w.threads());
            },
            py::arg("memo"))
        .def(py::pickle([](const PyWorld& w) { return py::make_tuple(snapshotOf(w), w.threads()); },
                        [](const py::tuple& state) {
                            if (state.size() != 2) throw py::value_error("not a pickled vorn.World");
                            return worldFromBytes(state[0].cast<py::buffer>(), state[1].cast<unsigned>());
                        }))
        .def("to_arrays", &arraysOf,
             "Every body's fields (ids, positions, velocities, forces, masses, radii, restitution, friction, "
             "body_types, active, test_particles, spins) and the attractors as NumPy arrays in storage "
             "order.");

    py::class_<SnapshotSeries>(m, "SnapshotSeries",
                               "Snapshots of worlds appended to one file and read back by index.")
        .def(py::init<std::filesystem::path>(), py::arg("path"),
             "The series at `path` (none yet when there is no file).")
        .def(
            "append", [](SnapshotSeries& s, const PyWorld& w) { s.append(w.idle().world); }, py::arg("world"),
            "Appends the world's snapshot and flushes it to the disk.")
        .def("__len__", &SnapshotSeries::size)
        .def(
            "__getitem__",
            [](const SnapshotSeries& s, py::ssize_t index) {
                const auto n = static_cast<py::ssize_t>(s.size());
                if (index < -n || index >= n) throw py::index_error("snapshot index out of range");
                return worldFrom(s.load(static_cast<std::size_t>(index < 0 ? index + n : index)), 1);
            },
            py::arg("index"), "The world of snapshot `index` (negative from the end).")
        .def_property_readonly(
            "times",
            [](const SnapshotSeries& s) {
                std::vector<double> times;
                for (std::size_t i = 0; i < s.size(); ++i) times.push_back(s.time(i));
                return arrayOf(std::span<const double>(times));
            },
            "The time of each snapshot.")
        .def_property_readonly(
            "step_counts",
            [](const SnapshotSeries& s) {
                std::vector<std::uint64_t> steps;
                for (std::size_t i = 0; i < s.size(); ++i) steps.push_back(s.stepCount(i));
                return arrayOf(std::span<const std::uint64_t>(steps));
            },
            "The step count of each snapshot.")
        .def_property_readonly("trailing_bytes", &SnapshotSeries::trailingBytes,
                               "Bytes after the last complete snapshot (an append a crash cut short).")
        .def_property_readonly("path", &SnapshotSeries::path, "The series' file.");
}

}  // namespace vorn::python
