# Entry points: `make run` builds and runs the self-checking executable,
# `make check` builds the default configuration and runs its CTest suite (the edit-test loop),
# `make test` builds and runs every test of the project through every quality gate
# (scripts/run-gates: g++, clang++, sanitizers, -O3 -march=native, valgrind, format, tidy,
# the plain Release build, the Python package).
# `make python` builds the Python package into build-python/python (PYTHONPATH for
# /usr/bin/python3).
# `make bench` builds and runs the benchmarks, writes build-bench/bench.json and prints the
# results table (scripts/bench-report; docs/performance.md explains the figures).
.PHONY: run check test python bench

# A cache of compiled objects, when there is one, changes no flag.
LAUNCHER := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

run:
	cmake --preset default $(LAUNCHER)
	cmake --build --preset default --target vorn_selftest
	./build/vorn_selftest

check:
	cmake --preset default $(LAUNCHER)
	cmake --build --preset default
	ctest --preset default

test:
	scripts/run-gates

python:
	cmake --preset python $(LAUNCHER)
	cmake --build --preset python --target vorn_python
	PYTHONPATH=build-python/python /usr/bin/python3 -c "import vorn; print('vorn imports from build-python/python')"

bench:
	cmake --preset bench $(LAUNCHER)
	cmake --build --preset bench
	./build-bench/bench/vorn_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
	  --benchmark_out=build-bench/bench.json --benchmark_out_format=json
	scripts/bench-report build-bench/bench.json
