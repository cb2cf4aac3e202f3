// One function per C++ module, each adding that module's names to the extension module.
#pragma once

#include <pybind11/pybind11.h>

namespace vorn::python {

namespace py = pybind11;

void bindKernel(py::module_& m);
void bindGeodesic(py::module_& m);
void bindPhysics(py::module_& m);
void bindWorld(py::module_& m);
void bindMotion(py::module_& m);
void bindSnapshots(py::module_& m);  // after bindWorld: it adds to World
void bindMovie(py::module_& m);

}  // namespace vorn::python
