// Sums and products with their rounding errors, for T = double or F64x4: with s = fl(a + b),
// a + b = s + e exactly; with p = fl(a·b), a·b = p + e exactly (Dekker's product from halves,
// no fused multiply–add, so the bits are the same on every target). A product needs |a|, |b|
// below 2^995 (the split overflows beyond) and its error may be inexact where it is subnormal.
#pragma once

namespace vorn_world::detail {

template <class T>
struct WithError {
    T value, error;
};

template <class T>
[[gnu::always_inline]] inline WithError<T> twoSum(const T& a, const T& b) {
    const T s = a + b;
    const T b_part = s - a;
    return {s, (a - (s - b_part)) + (b - b_part)};
}

// a = high + low, each half holding 26 significant bits.
template <class T>
struct Halves {
    T high, low;
};
template <class T>
[[gnu::always_inline]] inline Halves<T> halves(const T& a) {
    const T scaled = 134217729.0 * a;  // 2^27 + 1
    const T high = scaled - (scaled - a);
    return {high, a - high};
}

template <class T>
[[gnu::always_inline]] inline WithError<T> twoProduct(const T& a, const Halves<T>& a_halves, const T& b,
                                                      const Halves<T>& b_halves) {
    const T p = a * b;
    return {p, (((a_halves.high * b_halves.high - p) + a_halves.high * b_halves.low) +
                a_halves.low * b_halves.high) +
                   a_halves.low * b_halves.low};
}

// value + low + increment as a new value and low part.
template <class T>
[[gnu::always_inline]] inline void addCompensated(T& value, T& low, const T& increment) {
    const WithError<T> sum = twoSum(value, increment);
    const WithError<T> renormalized = twoSum(sum.value, low + sum.error);
    value = renormalized.value;
    low = renormalized.error;
}

}  // namespace vorn_world::detail
