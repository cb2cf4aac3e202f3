// The animated page of vorn.view: the orbits example's page writer (orbits_movie), fed from
// arrays the package's pure-Python recorder gathered.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

#include "arrays.hpp"
#include "bindings.hpp"
#include "html_movie.hpp"

namespace vorn::python {

namespace {

using Events = py::array_t<std::uint64_t, py::array::c_style | py::array::forcecast>;

// An (n, 3) array of step, first, second.
std::vector<orbits::MovieEvent> eventsOf(const Events& rows, const char* what) {
    if (rows.ndim() != 2 || rows.shape(1) != 3) {
        throw py::value_error(std::string(what) + " must be an (n, 3) array of step, first, second");
    }
    std::vector<orbits::MovieEvent> events;
    const std::uint64_t* data = rows.data();
    for (py::ssize_t i = 0; i < rows.shape(0); ++i) {
        events.push_back({data[3 * i], static_cast<std::size_t>(data[3 * i + 1]),
                          static_cast<std::size_t>(data[3 * i + 2])});
    }
    return events;
}

std::string moviePage(std::size_t bodies, const Events& steps, const py::handle& positions,
                      const py::handle& attractors, const Events& contacts, const Events& captures,
                      const std::string& title, const std::string& subtitle) {
    orbits::MovieRun run;
    run.bodies = bodies;
    if (steps.ndim() != 1) throw py::value_error("steps must be a one-dimensional array");
    run.steps.assign(steps.data(), steps.data() + steps.shape(0));
    const auto p = vecsOf(pointsOf(positions, "positions"));
    run.positions.assign(p.begin(), p.end());
    const auto a = vecsOf(pointsOf(attractors, "attractors"));
    run.attractors.assign(a.begin(), a.end());
    run.contacts = eventsOf(contacts, "contacts");
    run.captures = eventsOf(captures, "captures");
    std::ostringstream page;
    try {
        orbits::writeHtmlMovie(page, run, {title, subtitle});
    } catch (const std::invalid_argument& e) {
        throw py::value_error(e.what());
    }
    return page.str();
}

}  // namespace

void bindMovie(py::module_& m) {
    m.def("_movie_page", &moviePage, py::arg("bodies"), py::arg("steps"), py::arg("positions"),
          py::arg("attractors"), py::arg("contacts"), py::arg("captures"), py::arg("title"),
          py::arg("subtitle"),
          "The animated page of a run (vorn.view records one): frame steps, positions (frames x bodies "
          "rows of x, y, z, w), attractors, contacts and captures as (n, 3) rows of step, first, second.");
}

}  // namespace vorn::python
