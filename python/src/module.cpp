// The extension module vorn._vorn; the package vorn re-exports its names.
#include <pybind11/pybind11.h>

#include "bindings.hpp"

PYBIND11_MODULE(_vorn, m) {
    m.doc() = "Geometry and point-body physics on the unit 3-sphere, bit for bit as the C++ library.";
    vorn::python::bindKernel(m);
    vorn::python::bindGeodesic(m);
    vorn::python::bindPhysics(m);
    vorn::python::bindWorld(m);
    vorn::python::bindMotion(m);
    vorn::python::bindSnapshots(m);
    vorn::python::bindMovie(m);
}
