# Two entry points: `make run` builds and runs the self-checking executable,
# `make test` builds and runs every test of the project through every quality gate
# (scripts/run-gates: g++, clang++, sanitizers, -O3 -march=native, valgrind, format, tidy).
.PHONY: run test

run:
	cmake --preset default
	cmake --build --preset default --target vorn_selftest
	./build/vorn_selftest

test:
	scripts/run-gates
