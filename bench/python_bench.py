#!/usr/bin/python3
"""The Python package against the C++ library, in one run.

Times from Python (median of repeats) the batch apply over 2^20 points (into a given array, as
the C++ benchmark does, and into a new one), a world's kdk step with
N = 10^5 bodies and 3 attractors, and one scalar call; with --cpp-bench it then runs the matching
Google Benchmark cases of the C++ build in the same process tree and prints the ratios.

    PYTHONPATH=build-python/python /usr/bin/python3 bench/python_bench.py \
        --cpp-bench build-bench/bench/vorn_bench
"""

import argparse
import json
import statistics
import subprocess
import time

import numpy as np

import vorn


def median_seconds(call, repeats, inner=1):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        for _ in range(inner):
            call()
        times.append((time.perf_counter() - start) / inner)
    return statistics.median(times)


def python_figures(repeats):
    rng = np.random.default_rng(1)
    points = vorn.normalize(rng.normal(size=(1 << 20, 4)))
    m = vorn.pgl_rotate_z(0.3) @ vorn.plane_rotation(vorn.Plane.XW, 0.2).to_pgl4()
    out = np.empty_like(points)
    apply = median_seconds(lambda: vorn.apply_to_all(m, points, out=out), repeats)
    apply_new = median_seconds(lambda: vorn.apply_to_all(m, points), repeats)

    n = 100_000
    p = vorn.normalize(rng.normal(size=(n, 4)))
    v = rng.uniform(-0.1, 0.1, size=(n, 4))
    v -= np.sum(v * p, axis=1)[:, None] * p
    world = vorn.World(G=1.0)
    for _ in range(3):
        world.add_attractor(vorn.HomVec4(*vorn.normalize(rng.normal(size=(1, 4)))[0]), 1e-3)
    world.add_bodies(p, v, np.ones(n))
    step = median_seconds(lambda: world.step(1e-4, vorn.Integrator.kdk), repeats)

    a, b = vorn.HomVec4(0.1, 0.2, 0.3, 0.9), vorn.HomVec4(0.3, -0.1, 0.2, 0.9)
    scalar = median_seconds(lambda: vorn.fs_distance(a, b), repeats, inner=100_000)
    return {"apply": apply, "apply_new": apply_new, "step": step, "scalar": scalar}


def cpp_figures(binary):
    cases = "BM_applyToAll/1048576|BM_world_kdk_step_3_attractors/100000|BM_fsDistance$"
    out = subprocess.run(
        [binary, f"--benchmark_filter={cases}", "--benchmark_repetitions=5",
         "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    medians = {b["run_name"]: b for b in json.loads(out)["benchmarks"] if b.get("aggregate_name") == "median"}
    unit = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}

    def seconds(name):
        entry = medians[name]
        return entry["real_time"] * unit[entry["time_unit"]]

    return {
        "apply": seconds("BM_applyToAll/1048576"),
        "step": seconds("BM_world_kdk_step_3_attractors/100000"),
        # BM_fsDistance reports per call through its items; its real time is per batch.
        "scalar_items_per_second": medians["BM_fsDistance"].get("items_per_second"),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cpp-bench", help="the C++ benchmark binary (bench preset)")
    parser.add_argument("--repeats", type=int, default=9)
    args = parser.parse_args()
    py = python_figures(args.repeats)
    print(f"Python apply_to_all, 2^20 points:     {py['apply'] * 1e3:9.3f} ms  (into out=; "
          f"{py['apply_new'] * 1e3:.3f} ms into a new array)")
    print(f"Python World.step kdk, 1e5 bodies:    {py['step'] * 1e3:9.3f} ms")
    print(f"Python fs_distance, one scalar call:  {py['scalar'] * 1e9:9.1f} ns")
    if args.cpp_bench:
        cpp = cpp_figures(args.cpp_bench)
        print(f"C++    applyToAll, 2^20 points:       {cpp['apply'] * 1e3:9.3f} ms  (Python / C++ {py['apply'] / cpp['apply']:.3f})")
        print(f"C++    World::step kdk, 1e5 bodies:   {cpp['step'] * 1e3:9.3f} ms  (Python / C++ {py['step'] / cpp['step']:.3f})")
        if cpp["scalar_items_per_second"]:
            per_call = 1.0 / cpp["scalar_items_per_second"]
            print(f"C++    fsDistance per call:           {per_call * 1e9:9.1f} ns  "
                  f"(call overhead from Python about {(py['scalar'] - per_call) * 1e9:.0f} ns)")


if __name__ == "__main__":
    main()
