// Floating-point numbers in the shortest scientific form that reads back to the same value:
// the significant digits (a point only when there are several), the letter e and the decimal
// exponent without plus sign or leading zeros: 1e0, 6e-1, -2.5e-3, 5e-324.
// Zeros keep their sign ("0e0", "-0e0"); infinities are "inf" and "-inf"; a NaN is "nan",
// or "-nan" when its sign bit is set.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vorn::runner::detail {

class NumberText {
public:
    std::string_view view() const { return {chars_.data(), size_}; }

private:
    friend NumberText formatShortest(double value);
    friend NumberText formatShortest(float value);
    std::array<char, 40> chars_{};
    std::size_t size_ = 0;
};

NumberText formatShortest(double value);
// Shortest for single precision: 0.1f is "1e-1", not the digits of its double value.
NumberText formatShortest(float value);

}  // namespace vorn::runner::detail
