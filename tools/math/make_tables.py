#!/usr/bin/python3
"""Writes src/vorn_math/tables.hpp: the constants of the correctly rounded functions, computed
with mpmath at 3000 bits. Run from the repository root: /usr/bin/python3 tools/math/make_tables.py"""
import os

import mpmath
from mpmath import mp, mpf

mp.prec = 3000
TWO_OVER_PI_WORDS = 40  # 2/pi to 2560 bits: enough for the largest exponent plus 1024 + 256 bits
CONSTANT_LIMBS = 20     # pi/2 and pi/4-ish constants to 1280 bits


def words_of_fraction(value, count):
    """The first count 64-bit words of the fractional part of value (0 <= value < 1)."""
    scaled = int(mpmath.floor(value * (mpf(2) ** (64 * count))))
    return [(scaled >> (64 * (count - 1 - i))) & (2**64 - 1) for i in range(count)]


def mantissa_limbs(value, count):
    """value = 0.limbs * 2^exponent with the top bit set, truncated; returns (limbs, exponent)."""
    exponent = int(mpmath.floor(mpmath.log(value, 2))) + 1
    return words_of_fraction(value / mpf(2) ** exponent, count), exponent


def truncated(value, bits):
    """value (> 0) truncated to its first bits significant bits."""
    exponent = int(mpmath.floor(mpmath.log(value, 2)))
    scale = mpf(2) ** (bits - 1 - exponent)
    return mpf(int(mpmath.floor(value * scale))) / scale


def hexfloat(x):
    return float(x).hex()


def dd(value):
    hi = float(value)
    lo = float(value - mpf(hi))
    return hi, lo


def limb_array(name, limbs, comment):
    body = ",\n".join("    0x%016xULL" % w for w in limbs)
    return "// %s\ninline constexpr std::uint64_t %s[%d] = {\n%s};\n" % (comment, name, len(limbs), body)


# ---- atan, atan2 and acos: tables of Taylor coefficients ----------------------------------

ATAN_STEPS = 256    # atan's table points c = j/256, j = 0..256; |h| = |t - c| <= 2^-9
ATAN_DEGREE = 7
ACOS_STEPS = 256    # acos's table points w_j = j/256, j = 0..128 (w <= 1/2); |h| <= 2^-9
ACOS_DEGREE = 7
U = mpf(2) ** -53   # unit roundoff


def veltkamp(a):
    """Veltkamp's split of the double a, as double_double.hpp's split computes it."""
    c = 134217729.0 * a
    hi = c - (c - a)
    return hi, a - hi


def atan_taylor(c, count):
    """Coefficients a_0 .. a_(count-1) of atan(c + h) in h, from 1/(1 + (c + h)^2)."""
    d = 1 + c * c
    g = [1 / d, -2 * c / d / d]
    while len(g) < count:
        k = len(g)
        g.append(-(2 * c * g[k - 1] + g[k - 2]) / d)
    return [mpmath.atan(c)] + [g[k - 1] / k for k in range(1, count)]


def arcsine_ratio_taylor(w, count):
    """Coefficients of F(w + h) = asin(sqrt(w + h)) / sqrt(w + h) in h, from F's series in w."""
    terms = 900  # b_k w^k C(k, m) falls like 2^-k k^m: 900 terms leave far below 2^-200
    b = [mpf(1)]
    for k in range(1, terms):
        b.append(b[-1] * (2 * k - 1) * (2 * k - 1) / ((2 * k) * (2 * k + 1)))
    out = []
    for m in range(count):
        s = mpf(0)
        binom = mpf(1)  # C(k, m) for k = m
        for k in range(m, terms):
            if k > m:
                binom = binom * k / (k - m)
            s += b[k] * binom * w ** (k - m)
        out.append(s)
    return out


class Bound:
    """A computed double: |value| <= mag and |value - ideal| <= err (standard model, u = 2^-53)."""

    def __init__(self, mag, err=0):
        self.mag, self.err = mpf(mag), mpf(err)

    def __add__(self, o):
        m = self.mag + o.mag
        return Bound(m * (1 + U), self.err + o.err + U * m)

    def __mul__(self, o):
        m = self.mag * o.mag
        e = self.mag * o.err + o.mag * self.err + self.err * o.err
        return Bound(m * (1 + U), e + U * m)


def stored(value):
    """A coefficient stored as the nearest double."""
    return Bound(abs(value), abs(value - mpf(float(value))))


def estrin_bound(coefficients, h):
    """Bounds for the evaluation of sum coefficients[i] h^i in double as atan.cpp writes it:
    pairs c_i + c_(i+1) h (a last odd coefficient alone), then Horner in h^2 over the pairs.
    Returns the bounds of the value and of h^2."""
    hb = Bound(h)
    h2 = hb * hb
    cs = list(coefficients)
    pairs = [stored(cs[i]) + stored(cs[i + 1]) * hb for i in range(0, len(cs) - 1, 2)]
    if len(cs) % 2:
        pairs.append(stored(cs[-1]))
    acc = pairs[-1]
    for p in reversed(pairs[:-1]):
        acc = p + h2 * acc
    return acc, h2


def atan_tables(out):
    mp.prec = 300
    big_h = mpf(1) / (2 * ATAN_STEPS)
    rows, bases = [], [[], [], [], []]
    worst_trunc, worst_eval, worst_size = mpf(0), mpf(0), mpf(0)
    for j in range(ATAN_STEPS + 1):
        c = mpf(j) / ATAN_STEPS
        a = atan_taylor(c, ATAN_DEGREE + 40)
        # smallest |atan t| on the interval (for j = 0 the bounds below are relative to |h|)
        low = mpmath.atan(c - big_h) if j > 0 else None
        trunc = sum(abs(a[k]) * big_h ** k for k in range(ATAN_DEGREE + 1, len(a)))
        if j == 0:
            trunc = trunc / big_h / (mpmath.atan(big_h) / big_h)
        else:
            trunc = trunc / low
        # h^2 P(h), P = a2 + a3 h + ... + a7 h^5, in double
        poly, h2 = estrin_bound(a[2:ATAN_DEGREE + 1], big_h)
        corr = h2 * poly
        ev = corr.err + U * corr.mag  # and its addition into the low part
        scale = mpmath.atan(big_h) if j == 0 else low
        ev = ev / scale
        worst_trunc = max(worst_trunc, trunc)
        worst_eval = max(worst_eval, ev)
        worst_size = max(worst_size, corr.mag / scale)
        s1 = veltkamp(float(a[1]))[0]
        rows.append("{%s}" % ", ".join(hexfloat(v) for v in
                                        [s1, a[1] - s1] + [float(a[k]) for k in range(2, ATAN_DEGREE + 1)]))
        t = mpmath.atan(c)
        for q, v in enumerate([t, mp.pi / 2 - t, mp.pi - t, mp.pi / 2 + t]):
            bases[q].append("{%s, %s}" % tuple(hexfloat(x) for x in dd(v)))
    out.append("// atan(c + h) = atan(c) + a1 h + ... + a7 h^7 (Taylor) for c = j/%d, j = 0..%d, |h| <= 2^-%d:"
               % (ATAN_STEPS, ATAN_STEPS, int(mpmath.log(2 * ATAN_STEPS, 2))))
    out.append("// a1 = a1High + a1Rest, a1High with 26 significant bits (Veltkamp's split of a1 rounded), a1Rest and"
               "\n// a2 .. a7 rounded. Truncation below 2^%.2f |atan(c + h)|;"
               % float(mpmath.log(worst_trunc, 2)))
    out.append("// h^2 (a2 + ... + a7 h^5), at most 2^%.2f |atan(c + h)|, evaluated in double (Estrin) to 2^%.2f."
               % (float(mpmath.log(worst_size, 2)), float(mpmath.log(worst_eval, 2))))
    out.append("struct AtanTaylorRow {\n    double a1High, a1Rest, a2, a3, a4, a5, a6, a7;\n};")
    out.append("inline constexpr AtanTaylorRow kAtanTaylor[%d] = {%s};" % (ATAN_STEPS + 1, ", ".join(rows)))
    out.append("// Per quadrant q, as hi + lo: atan(c), pi/2 - atan(c), pi - atan(c), pi/2 + atan(c), c = j/%d."
               % ATAN_STEPS)
    out.append("struct AtanBaseEntry {\n    double hi, lo;\n};")
    out.append("inline constexpr AtanBaseEntry kAtanBase[4][%d] = {%s};" %
               (ATAN_STEPS + 1, ", ".join("{%s}" % ", ".join(b) for b in bases)))
    out.append("")


def acos_tables(out):
    mp.prec = 300
    count = ACOS_STEPS // 2 + 1
    big_h = mpf(1) / (2 * ACOS_STEPS) + mpf(2) ** -55  # j from w rounded (by up to 2^-55), h from w exactly
    rows = []
    worst_trunc, worst_eval, worst_size, worst_f3 = mpf(0), mpf(0), mpf(0), mpf(0)
    for j in range(count):
        w = mpf(j) / ACOS_STEPS
        f = arcsine_ratio_taylor(w, ACOS_DEGREE + 30)
        low = f[0] - f[1] * big_h if j > 0 else mpf(1)  # F increases: F(w - H) >= F(w) - F'(w) H
        trunc = sum(abs(f[k]) * big_h ** k for k in range(ACOS_DEGREE + 1, len(f))) / low
        poly, h2 = estrin_bound(f[2:ACOS_DEGREE + 1], big_h)
        corr = h2 * poly
        ev = (corr.err + U * corr.mag) / low
        worst_trunc = max(worst_trunc, trunc)
        worst_eval = max(worst_eval, ev)
        worst_size = max(worst_size, corr.mag / low)
        worst_f3 = max(worst_f3, abs(f[3]))
        f0hi, f0lo = dd(f[0])
        s1 = veltkamp(float(f[1]))[0]
        rows.append("{%s}" % ", ".join(hexfloat(v) for v in
                                        [f0hi, f0lo, s1, f[1] - s1] + [float(f[k]) for k in range(2, ACOS_DEGREE + 1)]))
    out.append("// F(w) = asin(sqrt w) / sqrt w = F0 + F1 h + ... + F7 h^7 (Taylor) at w = j/%d + h, j = 0..%d,"
               % (ACOS_STEPS, count - 1))
    out.append("// |h| <= 2^-%d: F0 as hi + lo, F1 = f1High + f1Rest (f1High with 26 significant bits), F2 .. F7 rounded."
               % int(mpmath.log(2 * ACOS_STEPS, 2)))
    out.append("// Truncation below 2^%.2f F; h^2 (F2 + ... + F7 h^5), at most 2^%.2f F, in double (Estrin) to 2^%.2f F;"
               % (float(mpmath.log(worst_trunc, 2)), float(mpmath.log(worst_size, 2)), float(mpmath.log(worst_eval, 2))))
    out.append("// |F3| <= %.3f." % float(worst_f3))
    out.append("struct ArcsineRatioRow {\n    double f0, f0Lo, f1High, f1Rest, f2, f3, f4, f5, f6, f7;\n};")
    out.append("inline constexpr ArcsineRatioRow kArcsineRatio[%d] = {%s};" % (count, ", ".join(rows)))
    out.append("")


def main():
    pi = mp.pi
    out = ["// Generated by tools/math/make_tables.py; do not edit.",
           "#pragma once", "", "#include <cstdint>", "", "namespace vorn::math::detail {", ""]
    out.append(limb_array("kTwoOverPiWords", words_of_fraction(2 / pi, TWO_OVER_PI_WORDS),
                          "2/pi = sum of kTwoOverPiWords[i] * 2^(-64 (i + 1)), truncated."))
    limbs, exponent = mantissa_limbs(pi / 2, CONSTANT_LIMBS)
    assert exponent == 1
    out.append(limb_array("kHalfPiLimbs", limbs, "pi/2 = 0.kHalfPiLimbs * 2^1, truncated."))
    hi, lo = dd(pi / 2)
    out.append("inline constexpr double kHalfPiHi = %s;\ninline constexpr double kHalfPiLo = %s;" %
               (hexfloat(hi), hexfloat(lo)))
    hi, lo = dd(pi)
    out.append("inline constexpr double kPiHi = %s;\ninline constexpr double kPiLo = %s;" %
               (hexfloat(hi), hexfloat(lo)))
    out.append("")
    # sin and cos: x = N pi/1024 + r, |r| <= pi/2048, with sin(i pi/1024), i = 0..512, as hi + lo and
    # hi's Veltkamp split (for Dekker's product). Cody-Waite: pi/1024 = Part1 + Part2 + Part3 +
    # residual, the first two short enough that N * Part1 and N * Part2 are exact.
    out.append("// sin(i pi/1024) for i = 0..512: hi + lo (|error| < 2^-106 |value|), and hi = high + low")
    out.append("// with high and low of at most 26 significant bits (Veltkamp's split).")
    out.append("struct SinPiEntry {\n    double hi, lo, high, low;\n};")
    out.append("inline constexpr SinPiEntry kSinPi1024[513] = {")
    for i in range(513):
        h, l = dd(mpmath.sin(mpf(i) * pi / 1024))
        if i == 0:
            h, l = 0.0, 0.0
        c = 134217729.0 * h  # 2^27 + 1: the same split as double_double.hpp's, in doubles
        high = c - (c - h)
        low = h - high
        out.append("    {%s, %s, %s, %s}," % tuple(hexfloat(v) for v in (h, l, high, low)))
    out.append("};")
    step = pi / 1024
    for name, bits, limit in (("Small", 36, "2^8, |N| < 2^17"), ("Medium", 28, "2^16, |N| < 2^25")):
        p1 = truncated(step, bits)
        p2 = truncated(step - p1, bits)
        p3 = mpf(float(step - p1 - p2))
        out.append("// pi/1024 for |x| < %s: Part1 and Part2 have %d significant bits." % (limit, bits))
        for k, v in ((1, p1), (2, p2), (3, p3)):
            out.append("inline constexpr double kPiOver1024%s%d = %s;" % (name, k, hexfloat(v)))
        out.append("// |pi/1024 - (kPiOver1024%s1 + %s2 + %s3)| = 2^%.2f" %
                   (name, name, name, float(mpmath.log(abs(step - p1 - p2 - p3), 2))))
    out.append("inline constexpr double kInvPiOver1024 = %s;  // 1024/pi rounded" % hexfloat(1024 / pi))
    out.append("")
    out += pow_fast_tables()
    limbs, exponent = mantissa_limbs(mpmath.log(2), CONSTANT_LIMBS)
    assert exponent == 0
    out.append(limb_array("kLn2Limbs", limbs, "ln 2 = 0.kLn2Limbs, truncated."))
    atan_tables(out)
    acos_tables(out)
    out.append("}  // namespace vorn::math::detail")
    with open("src/vorn_math/tables.hpp.partial", "w") as f:
        f.write("\n".join(out) + "\n")
    os.replace("src/vorn_math/tables.hpp.partial", "src/vorn_math/tables.hpp")


def pow_fast_tables():
    """pow's fast path: the logarithm's 257 buckets and 2^(j/256) with its Veltkamp split."""
    out = []
    grid = mpf(2) ** -42  # ln 2 and the table's logarithms rounded to it: e ln2Hi + logHi is exact
    ln2 = mpmath.log(2)
    ln2_hi = mpmath.nint(ln2 / grid) * grid
    entries, r_max = [], mpf(0)
    for i in range(257):
        c = 1 + mpf(i) / 256
        inv = mpmath.nint(4096 / c) / 4096  # at most 12 significant bits; 1 and 1/2 at the ends
        log = -mpmath.log(inv)
        log_hi = mpmath.nint(log / grid) * grid
        log_lo = mpf(float(log - log_hi))
        r_bucket = max(abs(m * inv - 1) for m in (max(c - mpf(1) / 512, mpf(1)), min(c + mpf(1) / 512, mpf(2))))
        r_max = max(r_max, r_bucket)
        entries.append((inv, log_hi, log_lo, r_bucket))
    # the sum e ln 2 + logHi is zero or larger than the bucket's |r| (for fastTwoSum)
    for e in (0, -1):
        for i, (inv, log_hi, _, r_bucket) in enumerate(entries):
            a = e * ln2_hi + log_hi
            assert a == 0 or abs(a) > r_bucket + r_bucket ** 2, (e, i)
    out.append("")
    out.append("// pow's logarithm: m in [1, 2) is taken to bucket i = nearest integer to 256 (m - 1), where")
    out.append("// inv (at most 12 significant bits; 1 for i = 0, 1/2 for i = 256) is close to 1/m, and")
    out.append("// -ln(inv) = logHi + logLo, logHi a multiple of 2^-42. |m inv - 1| <= 2^%.3f." %
               float(mpmath.log(r_max, 2)))
    out.append("struct PowLogEntry {\n    double inv, logHi, logLo;\n};")
    out.append("inline constexpr PowLogEntry kPowLog[257] = {%s};" %
               ", ".join("{%s, %s, %s}" % tuple(hexfloat(v) for v in entry[:3]) for entry in entries))
    out.append("// ln 2 = kPowLn2Hi (a multiple of 2^-42) + kPowLn2Lo + O(2^-97)")
    out.append("inline constexpr double kPowLn2Hi = %s;" % hexfloat(ln2_hi))
    out.append("inline constexpr double kPowLn2Lo = %s;" % hexfloat(ln2 - ln2_hi))
    out.append("// 2^(j/256) = hi + lo (|error| < 2^-106 hi), and hi = hiUpper + hiLower (Veltkamp's split).")
    out.append("struct PowExpEntry {\n    double hi, lo, hiUpper, hiLower;\n};")
    rows = []
    for j in range(256):
        hi, lo = dd(mpf(2) ** (mpf(j) / 256))
        c = 134217729.0 * hi
        upper = c - (c - hi)
        rows.append("{%s, %s, %s, %s}" % tuple(v.hex() for v in (hi, lo, upper, hi - upper)))
    out.append("inline constexpr PowExpEntry kPowExp[256] = {%s};" % ", ".join(rows))
    step = ln2 / 256
    step_hi = mpmath.nint(step * mpf(2) ** 43) / mpf(2) ** 43  # 35 significant bits: n step_hi exact for |n| < 2^18
    out.append("// 256/ln 2, and ln 2/256 = kPowLn2Over256Hi (35 significant bits) + kPowLn2Over256Lo + O(2^-96)")
    out.append("inline constexpr double kPow256OverLn2 = %s;" % hexfloat(256 / ln2))
    out.append("inline constexpr double kPowLn2Over256Hi = %s;" % hexfloat(step_hi))
    out.append("inline constexpr double kPowLn2Over256Lo = %s;" % hexfloat(step - step_hi))
    return out


if __name__ == "__main__":
    main()
