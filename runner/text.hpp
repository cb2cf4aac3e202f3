// Small text builders for the runner's messages: decimal and hexadecimal integers appended
// to a string, without printf.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>

namespace vorn::runner::detail {

inline void appendDecimal(std::string& out, std::uint64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// Lower-case hexadecimal digits, no prefix.
inline void appendHex(std::string& out, std::uint64_t value) {
    char digits[20];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, 16);
    out.append(digits, result.ptr);
}

}  // namespace vorn::runner::detail
