// What a registered test sees of the runner: the test-case record, the check primitives,
// the named error a test ends with, and the per-test leak-checking allocator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <span>
#include <string_view>
#include <version>

#if defined(__cpp_lib_source_location)
#include <source_location>
#endif

namespace vorn::testing {

// Where a check stands in the test's source. std::source_location where the standard library
// has it; clang++ 14 over libstdc++ 12 lacks the builtin it needs, so there the same four
// facts come from the older compiler builtins.
#if defined(__cpp_lib_source_location)
using SourceLocation = std::source_location;
#else
class SourceLocation {
public:
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            const char* function = __builtin_FUNCTION(),
                                            std::uint_least32_t line = __builtin_LINE(),
                                            std::uint_least32_t column = __builtin_COLUMN()) noexcept {
        SourceLocation where;
        where.file_ = file;
        where.function_ = function;
        where.line_ = line;
        where.column_ = column;
        return where;
    }
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr const char* function_name() const noexcept { return function_; }
    constexpr std::uint_least32_t line() const noexcept { return line_; }
    constexpr std::uint_least32_t column() const noexcept { return column_; }

private:
    const char* file_ = "";
    const char* function_ = "";
    std::uint_least32_t line_ = 0;
    std::uint_least32_t column_ = 0;
};
#endif

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
                       SourceLocation where = SourceLocation::current());
void expectApproxEqAbs(float expected, float actual, float tolerance,
                       SourceLocation where = SourceLocation::current());

// Ends the test with "TestUnexpectedResult" when `condition` is false.
void expectTrue(bool condition, SourceLocation where = SourceLocation::current());

// Ends the test with the named error, recording `where` in the error trace.
[[noreturn]] void fail(std::string_view error_name, SourceLocation where = SourceLocation::current());

[[noreturn]] void skip(SourceLocation where = SourceLocation::current());

// The per-test leak-checking allocator, recreated empty before each test.
std::pmr::memory_resource& allocator();

}  // namespace vorn::testing
