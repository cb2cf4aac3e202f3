#!/usr/bin/python3
"""Arguments that are hard to round: results within a tiny fraction of an ulp of a midpoint
between two doubles, found with exact integer arithmetic, and doubles close to multiples of pi/2.

Over 2^14 consecutive doubles x0 + k u, f(x0 + k u) / ulp = A + B k + C k^2 + D k^3 up to far
below 2^-20; the fractional parts of A, B, C, D in 64-bit fixed point, with wrapping integer
arithmetic, give frac(f / ulp) for every k at once, and the k nearest to 1/2 are kept when
mpmath confirms them.

    hard_cases.py --count 100000 --seed 1 --out FILE [--functions sin,cos]
"""
import argparse
import math
import os
import random
import sys

import numpy as np
from mpmath import mp, mpf

from reference import MP_FUNCTIONS, nearest_double, to_bits

SPAN = 1 << 14
KEEP = 4
# Ulps from a midpoint: inside the fast paths' undecided bands (pow's is narrower when |y log2 x|
# is small).
THRESHOLD = {'pow': mpf(2) ** -19}
DEFAULT_THRESHOLD = mpf(2) ** -14

# Where each function's hard cases are sought: (low, high) of |x0|, drawn log-uniformly.
RANGES = {
    'sin': [(2.0 ** -25, 8.0), (2.0 ** -25, 2.0 ** 40)],
    'cos': [(2.0 ** -26, 8.0), (2.0 ** -26, 2.0 ** 40)],
    'acos': [(2.0 ** -30, 1.0), (0.5, 1.0)],
    'atan': [(2.0 ** -26, 8.0), (1.0, 2.0 ** 50)],
    'atan2': [(2.0 ** -20, 2.0 ** 20)],  # |y|; x is drawn from the same range
    'pow': [(0.25, 4.0), (2.0 ** -30, 2.0 ** 30)],  # x; y is -1/4 or drawn from [-40, 40]
}


def fixed(value):
    """frac(value) in 64-bit fixed point."""
    return int(mp.floor((value - mp.floor(value)) * mpf(2) ** 64)) & ((1 << 64) - 1)


def scan(f, x0, threshold=DEFAULT_THRESHOLD, band=None):
    """The x0 + k u (k < 2^14) for which f is within threshold ulps of a midpoint, or with band
    = (low, high), a few whose distance from a midpoint lies in [low, high) ulps."""
    u = math.ulp(x0)
    with mp.workprec(320):
        coefficients = mp.taylor(f, mpf(x0), 3)
        if coefficients[0] == 0:
            return []
        q = nearest_double(coefficients[0])[2]
        scale = mpf(2) ** -q
        a, b, c, d = (fixed(coefficients[i] * mpf(u) ** i * scale) for i in range(4))
    k = np.arange(SPAN, dtype=np.uint64)
    with np.errstate(over='ignore'):
        frac = np.uint64(a) + np.uint64(b) * k + np.uint64(c) * k * k + np.uint64(d) * k * k * k
        centred = (frac - np.uint64(1 << 63)).view(np.int64)
    distance = np.abs(centred)
    if band is None:
        chosen = np.argpartition(distance, KEEP)[:KEEP]
    else:  # one in each octave of the band
        chosen = []
        octave = band[0]
        while octave < band[1]:
            low, high = int(octave * 2.0 ** 64), int(2 * octave * 2.0 ** 64)
            chosen += list(np.nonzero((distance >= low) & (distance < high))[0][:1])
            octave *= 2
    found = []
    for i in chosen:
        x = x0 + int(i) * u
        with mp.workprec(400):
            d = nearest_double(f(mpf(x)))[1]
        if (d < threshold) if band is None else (band[0] <= d < band[1]):
            found.append(x)
    return found


def log_uniform(rng, low, high):
    return math.exp(rng.uniform(math.log(low), math.log(high)))


# Distances from a midpoint around the fast paths' decision limits: such cases are decided by
# the fast path or passed on according to its error bound, so they test that bound.
BOUNDARY_BAND = {'pow': (2.0 ** -24, 2.0 ** -8)}
DEFAULT_BOUNDARY_BAND = (2.0 ** -16, 2.0 ** -8)


def midpoint_cases(name, count, rng, boundary=False):
    """count argument tuples of the function name whose results lie near midpoints (or, with
    boundary, at the distances where the fast path's decision changes)."""
    band = BOUNDARY_BAND.get(name, DEFAULT_BOUNDARY_BAND) if boundary else None
    cases = []
    while len(cases) < count:
        low, high = rng.choice(RANGES[name])
        x0 = log_uniform(rng, low, high)
        m, e = math.frexp(x0)  # start where 2^14 steps of one ulp stay in the binade
        x0 = math.ldexp(min(m, 1.0 - SPAN * 2.0 ** -53), e)
        sign = rng.choice((1.0, -1.0))
        if name == 'pow':  # x varies, y is fixed
            y = rng.choice((-0.25, rng.uniform(-40.0, 40.0)))
            found = scan(lambda t: mp.power(t, y), x0, THRESHOLD['pow'], band)
            cases.extend((t, y) for t in found)
        elif name == 'atan2':  # y varies, x is fixed
            x = rng.choice((1.0, -1.0)) * log_uniform(rng, low, high)
            found = scan(lambda y: mp.atan2(sign * y, x), x0, band=band)
            cases.extend((sign * y, x) for y in found)
        else:
            f = MP_FUNCTIONS[name]
            found = scan(lambda t: f(sign * t), x0, band=band)
            cases.extend((sign * t,) for t in found)
    return cases[:count]


def near_half_pi_multiples():
    """For each binade, the doubles q 2^e (q < 2^53) from the last convergents of 2^(e+1)/pi:
    the doubles closest to multiples of pi/2."""
    found = []
    with mp.workprec(3000):
        for e in range(-52, 972):
            alpha = mpf(2) ** (e + 1) / mp.pi
            h0, h1, k0, k1 = 0, 1, 1, 0
            x = alpha
            denominators = []
            while True:
                a = int(mp.floor(x))
                h0, h1 = h1, a * h1 + h0
                k0, k1 = k1, a * k1 + k0
                if k1 >= 1 << 53:
                    break
                denominators.append(k1)
                frac = x - a
                if frac == 0:
                    break
                x = 1 / frac
            for q in denominators[-3:]:
                value = math.ldexp(q, e)
                if value > 0.78 and not math.isinf(value):
                    found.append(value)
    return sorted(set(found))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--count', type=int, default=1000, help='cases per function')
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--functions', default=','.join(RANGES))
    parser.add_argument('--boundary', action='store_true', help="cases at the fast paths' decision limits")
    parser.add_argument('--out', required=True)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    lines = []
    for name in args.functions.split(','):
        for case in midpoint_cases(name, args.count, rng, args.boundary):
            lines.append(' '.join([name] + ['%016x' % to_bits(a) for a in case]) + '\n')
    with open(args.out + '.partial', 'w') as out:
        out.writelines(lines)
    os.replace(args.out + '.partial', args.out)
    return 0


if __name__ == '__main__':
    sys.exit(main())
