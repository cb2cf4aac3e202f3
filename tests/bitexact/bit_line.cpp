#include "bit_line.hpp"

#include <charconv>

namespace vorn::bitexact {

BitLine& BitLine::start(std::string_view op, std::size_t index) {
    out_ += op;
    out_ += ' ';
    std::array<char, 24> digits{};
    const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), index);
    out_.append(digits.data(), end);
    return *this;
}

BitLine& BitLine::flag(bool value) {
    out_ += value ? " 1" : " 0";
    return *this;
}

BitLine& BitLine::hex(std::uint64_t bits, int digits) {
    static constexpr std::string_view hex_digits = "0123456789abcdef";
    out_ += ' ';
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        out_ += hex_digits[(bits >> static_cast<unsigned>(shift)) & 0xfu];
    }
    return *this;
}

BitLine& BitLine::nan() {
    out_ += " nan";
    return *this;
}

BitLine& BitLine::mat(const vorn_kernel::PGL4& m) {
    for (const double entry : m.data) f64(entry);
    return *this;
}

BitLine& BitLine::state(const vorn_geodesic::GeodesicState& s) {
    for (const double c : s.q) f64(c);
    for (const double c : s.v) f64(c);
    return *this;
}

BitLine& BitLine::body(const vorn_physics::VornBody& b) {
    vec(b.position).vec(b.velocity).f64(b.mass).f64(b.restitution).f64(b.friction).vec(b.force_accum);
    u64(static_cast<std::uint64_t>(b.body_type));
    return flag(b.active);
}

}  // namespace vorn::bitexact
