// Appends results as exact bit patterns, one line per result, so that two builds can be
// compared byte for byte: any difference in rounding, in the sign of a zero or in a NaN
// shows up as a different line.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vorn_geodesic.hpp"
#include "vorn_kernel.hpp"
#include "vorn_physics.hpp"

namespace vorn::bitexact {

class BitLine {
public:
    explicit BitLine(std::string& out) : out_(out) {}

    // Starts a line: the operation's name and the index of its input in the battery.
    BitLine& start(std::string_view op, std::size_t index);

    // A NaN prints as "nan": which NaN an operation returns (its sign and payload) depends
    // on the order the compiler gives the operands of a commutative instruction, and IEEE
    // 754 leaves it open. Whether the result is a NaN is compared like every other bit.
    BitLine& f64(double value) {
        return value != value ? nan() : hex(std::bit_cast<std::uint64_t>(value), 16);
    }
    BitLine& f32(float value) { return value != value ? nan() : hex(std::bit_cast<std::uint32_t>(value), 8); }
    BitLine& flag(bool value);
    BitLine& u64(std::uint64_t value) { return hex(value, 16); }
    BitLine& vec(vorn_kernel::HomVec4 v) { return f64(v.x).f64(v.y).f64(v.z).f64(v.w); }
    BitLine& lanes(vorn_kernel::F32x4 v) { return f32(v[0]).f32(v[1]).f32(v[2]).f32(v[3]); }
    BitLine& mat(const vorn_kernel::PGL4& m);
    BitLine& state(const vorn_geodesic::GeodesicState& s);
    BitLine& body(const vorn_physics::VornBody& b);

    void end() { out_ += '\n'; }

private:
    BitLine& hex(std::uint64_t bits, int digits);
    BitLine& nan();

    std::string& out_;
};

}  // namespace vorn::bitexact
