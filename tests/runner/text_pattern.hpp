// A small pattern match for report lines: '*' matches any run of characters (empty too),
// '#' one or more decimal digits, '%' one or more lower-case hexadecimal digits; every other
// character matches itself. (std::regex trips a false warning in some sanitizer builds.)
#pragma once

#include <string_view>

namespace vorn::runner_tests {

inline bool matchesPattern(std::string_view text, std::string_view pattern) {
    if (pattern.empty()) return text.empty();
    const char head = pattern.front();
    const std::string_view rest = pattern.substr(1);
    if (head == '*') {
        for (std::size_t skip = 0; skip <= text.size(); ++skip) {
            if (matchesPattern(text.substr(skip), rest)) return true;
        }
        return false;
    }
    if (head == '#' || head == '%') {
        const auto is_digit = [head](char c) {
            return (c >= '0' && c <= '9') || (head == '%' && c >= 'a' && c <= 'f');
        };
        std::size_t run = 0;
        while (run < text.size() && is_digit(text[run])) ++run;
        for (std::size_t take = run; take >= 1; --take) {
            if (matchesPattern(text.substr(take), rest)) return true;
        }
        return false;
    }
    return !text.empty() && text.front() == head && matchesPattern(text.substr(1), rest);
}

}  // namespace vorn::runner_tests
