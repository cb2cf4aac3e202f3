"""The correctly rounded reference: mpmath's value rounded to the nearest double (ties to even),
with the working precision raised until the rounding is decided, and C's special values."""
import math
import struct
from fractions import Fraction

from mpmath import mp, mpf

INF = math.inf


def to_bits(x):
    return struct.unpack('<Q', struct.pack('<d', x))[0]


def from_bits(b):
    return struct.unpack('<d', struct.pack('<Q', b))[0]


def nearest_double(v):
    """(nearest double to the mpf v, |distance of v from the nearest midpoint| in ulps)."""
    sign, man, exp, bc = v._mpf_
    if man == 0:
        return 0.0, mpf(0.5), -1074
    e = exp + bc - 1
    q = max(e - 52, -1074)
    shift = q - exp
    if shift <= 0:
        n, distance = man << -shift, mpf(0.5)
    else:
        n, rem = man >> shift, man & ((1 << shift) - 1)
        half = 1 << (shift - 1)
        distance = abs(mpf(rem - half) / (1 << shift))
        if rem > half or (rem == half and n & 1):
            n += 1
    try:
        value = math.ldexp(n, q)
    except OverflowError:
        value = INF
    return (-value if sign else value), distance, q


def round_value(evaluate, start_bits=128, limit_bits=1 << 14):
    """The correctly rounded value of evaluate() (run at mp.prec), or raises if undecided."""
    bits = start_bits
    while bits <= limit_bits:
        with mp.workprec(bits):
            v = evaluate()
            if v == 0:
                return 0.0
            value, distance, q = nearest_double(v)
            error_ulps = abs(v) * mpf(2) ** (-bits + 10 - q)
            if distance > error_ulps:
                return value
        bits *= 2
    raise ArithmeticError('rounding not decided at %d bits' % limit_bits)


def ref_sin(x):
    if math.isnan(x) or math.isinf(x):
        return math.nan
    if x == 0:
        return x
    return round_value(lambda: mp.sin(mpf(x)))


def ref_cos(x):
    if math.isnan(x) or math.isinf(x):
        return math.nan
    if x == 0:
        return 1.0
    return round_value(lambda: mp.cos(mpf(x)))


def constant(f):
    return round_value(lambda: f())


def ref_acos(x):
    if math.isnan(x) or abs(x) > 1:
        return math.nan
    if x == 1:
        return 0.0
    return round_value(lambda: mp.acos(mpf(x)))


def ref_atan(x):
    if math.isnan(x) or x == 0:
        return x
    if math.isinf(x):
        return math.copysign(constant(lambda: mp.pi / 2), x)
    return round_value(lambda: mp.atan(mpf(x)))


def ref_atan2(y, x):
    if math.isnan(x) or math.isnan(y):
        return math.nan
    if y == 0:
        return math.copysign(constant(lambda: mp.pi), y) if math.copysign(1, x) < 0 else y
    if math.isinf(y):
        if math.isinf(x):
            return math.copysign(constant(lambda: mp.pi / 4 if x > 0 else 3 * mp.pi / 4), y)
        return math.copysign(constant(lambda: mp.pi / 2), y)
    if math.isinf(x):
        return math.copysign(0.0 if x > 0 else constant(lambda: mp.pi), y)
    if x == 0:
        return math.copysign(constant(lambda: mp.pi / 2), y)
    return round_value(lambda: mp.atan2(mpf(y), mpf(x)))


def exact_power(x, y):
    """x^y as a Fraction when it is rational (x > 0 finite, y finite), else None."""
    fx = Fraction(x)
    fy = Fraction(y)
    if fy.denominator == 1:
        if abs(fy) > 4000 and fx.numerator != 1 and fx.denominator != 1:
            return None
        if abs(fy) > 4000:  # a power of two: its exponent only
            base = fx.numerator if fx.denominator == 1 else fx.denominator
            if base & (base - 1):
                return None
            e = base.bit_length() - 1
            if fx.denominator != 1:
                e = -e
            e *= int(fy)
            return Fraction(2) ** max(min(e, 5000), -5000)
        return fx ** int(fy)
    k = fy.denominator.bit_length() - 1  # y = n / 2^k
    root = fx
    for _ in range(k):
        num, den = math.isqrt(root.numerator), math.isqrt(root.denominator)
        if num * num != root.numerator or den * den != root.denominator:
            return None
        root = Fraction(num, den)
    n = fy.numerator
    if abs(n) > 4000:
        return None
    return root ** n


def ref_pow(x, y):
    if y == 0 or x == 1:
        return 1.0
    if math.isnan(x) or math.isnan(y):
        return math.nan
    odd = y == int(y) and abs(y) < 2.0 ** 53 and int(y) % 2 == 1 if math.isfinite(y) else False
    if math.isinf(y):
        if abs(x) == 1:
            return 1.0
        return 0.0 if (abs(x) < 1) == (y > 0) else math.inf
    if x == 0:
        if y < 0:
            return math.copysign(math.inf, x) if odd else math.inf
        return x if odd else 0.0
    if math.isinf(x):
        magnitude = 0.0 if y < 0 else math.inf
        return -magnitude if (odd and x < 0) else magnitude
    if x < 0 and y != int(y):
        return math.nan
    sign = -1.0 if (x < 0 and odd) else 1.0
    exact = exact_power(abs(x), y)
    if exact is not None:
        try:
            return sign * float(exact)
        except OverflowError:
            return sign * math.inf
    with mp.workprec(64):
        z = mpf(y) * mp.log(mpf(abs(x)), 2)  # x^y = 2^z
        if z > 1100:
            return sign * math.inf
        if z < -1100:
            return sign * 0.0
        extra = int(mp.log(abs(z) + 1, 2)) + 8  # bits of y ln x above the point
    return sign * round_value(lambda: mp.exp(mpf(y) * mp.log(mpf(abs(x)))), start_bits=128 + extra)


REFERENCES = {'sin': ref_sin, 'cos': ref_cos, 'acos': ref_acos, 'atan': ref_atan, 'atan2': ref_atan2, 'pow': ref_pow}
MP_FUNCTIONS = {'sin': mp.sin, 'cos': mp.cos, 'acos': mp.acos, 'atan': mp.atan, 'atan2': mp.atan2, 'pow': mp.power}
