# Two entry points: `make run` builds and runs the self-checking executable,
# `make test` builds and runs every test of the project.
.PHONY: run test

run:
	cmake --preset default
	cmake --build --preset default --target vorn_selftest
	./build/vorn_selftest

test:
	cmake --preset default
	cmake --build --preset default
	ctest --preset default
