// What a registered test sees of the runner: the test-case record, the check primitives,
// the named error a test ends with, and the per-test leak-checking allocator.
#pragma once

#include <cstddef>
#include <memory_resource>
#include <source_location>
#include <span>
#include <string_view>

namespace vorn::testing {

using TestFunction = void (*)();

struct TestCase {
    std::string_view name;
    TestFunction run;
};

// Thrown to end a test with a named error; the runner reports `name`.
struct TestError {
    std::string_view name;
};

// Thrown to mark a test as skipped.
struct TestSkipped {};

// Passes when expected == actual, else when neither is NaN and |expected − actual| ≤ tolerance.
// On failure writes "actual {}, not within absolute tolerance {} of expected {}" to standard
// error and ends the test with "TestExpectedApproxEqAbs".
void expectApproxEqAbs(double expected, double actual, double tolerance,
                       std::source_location where = std::source_location::current());
void expectApproxEqAbs(float expected, float actual, float tolerance,
                       std::source_location where = std::source_location::current());

// Ends the test with "TestUnexpectedResult" when `condition` is false.
void expectTrue(bool condition, std::source_location where = std::source_location::current());

// Ends the test with the named error, recording `where` in the error trace.
[[noreturn]] void fail(std::string_view error_name,
                       std::source_location where = std::source_location::current());

[[noreturn]] void skip(std::source_location where = std::source_location::current());

// The per-test leak-checking allocator, recreated empty before each test.
std::pmr::memory_resource& allocator();

}  // namespace vorn::testing
