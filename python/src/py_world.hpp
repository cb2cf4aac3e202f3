// The World as Python holds it, shared by the modules that bind its parts.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include <vorn/vorn_world.hpp>

namespace vorn::python {

namespace py = pybind11;

// The world as Python holds it: the world, the threads it steps on, and how many NumPy views of
// its arrays are alive (while any is, the arrays must not move, so bodies cannot come or go).
struct PyWorld {
    explicit PyWorld(double G) : world(G) {}
    explicit PyWorld(vorn_world::World w) : world(std::move(w)) {}
    vorn_world::World world;
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

}  // namespace vorn::python
