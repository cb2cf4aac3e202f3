# Entry points: `make run` builds and runs the self-checking executable,
# `make test` builds and runs every test of the project through every quality gate
# (scripts/run-gates: g++, clang++, sanitizers, -O3 -march=native, valgrind, format, tidy).
# `make bench` builds and runs the benchmarks, writes build-bench/bench.json and prints the
# results table (scripts/bench-report; docs/performance.md explains the figures).
.PHONY: run test bench

run:
	cmake --preset default
	cmake --build --preset default --target vorn_selftest
	./build/vorn_selftest

test:
	scripts/run-gates

bench:
	cmake --preset bench
	cmake --build --preset bench
	./build-bench/bench/vorn_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
	  --benchmark_out=build-bench/bench.json --benchmark_out_format=json
	scripts/bench-report build-bench/bench.json
