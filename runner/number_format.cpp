#include "number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace vorn::runner::detail {
namespace {

// std::to_chars writes the exponent as e+00 / e-05; rewrite it as e0 / e-5.
template <typename Float>
void formatInto(Float value, std::array<char, 40>& chars, std::size_t& size) {
    if (std::isnan(value)) {
        const std::string_view text = std::signbit(value) ? "-nan" : "nan";
        std::memcpy(chars.data(), text.data(), text.size());
        size = text.size();
        return;
    }
    if (std::isinf(value)) {
        const std::string_view text = value < 0 ? "-inf" : "inf";
        std::memcpy(chars.data(), text.data(), text.size());
        size = text.size();
        return;
    }
    char raw[40];
    const auto result = std::to_chars(raw, raw + sizeof raw, value, std::chars_format::scientific);
    const std::string_view text(raw, static_cast<std::size_t>(result.ptr - raw));
    const std::size_t e = text.find('e');
    std::size_t n = 0;
    for (std::size_t i = 0; i <= e; ++i) chars[n++] = text[i];
    std::size_t i = e + 1;
    if (text[i] == '-') chars[n++] = '-';
    if (text[i] == '-' || text[i] == '+') ++i;
    while (i + 1 < text.size() && text[i] == '0') ++i;
    while (i < text.size()) chars[n++] = text[i++];
    size = n;
}

}  // namespace

NumberText formatShortest(double value) {
    NumberText text;
    formatInto(value, text.chars_, text.size_);
    return text;
}

NumberText formatShortest(float value) {
    NumberText text;
    formatInto(value, text.chars_, text.size_);
    return text;
}

}  // namespace vorn::runner::detail
