#!/usr/bin/python3
"""Checks the correctly rounded functions against mpmath, bit for bit.

The driver evaluates each argument and says which path ran; every result must equal the
reference (mpmath's value rounded to nearest, ties to even, at a precision raised until the
rounding is decided). Argument sets per function: random bit patterns over the whole range,
random arguments in the kernel's ranges, special values, hard cases (results very near a
midpoint, tests/math/hard_cases.py; the stored ones in tests/math/expected_results.txt, whose
results are checked too) and, for sin and cos, the doubles closest to multiples of pi/2.

    check_correct_rounding.py --driver PATH --sample      (ctest: about 2*10^4 per function)
    check_correct_rounding.py --driver PATH --random N --hard N --workers 2
    check_correct_rounding.py --driver PATH --random N --cases FILE... (hard_cases.py's output)
    check_correct_rounding.py --driver PATH --store HARD_CASES tests/math/expected_results.txt
"""
import argparse
import math
import multiprocessing
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from reference import REFERENCES, from_bits, to_bits  # noqa: E402
import hard_cases  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# Hard cases and special values with their correctly rounded results: checked here against the
# reference, and by the driver alone (--expect) on every target, the cross gates' included.
STORED_CASES = os.path.join(HERE, 'expected_results.txt')
CHUNK = 20000


ARITY = {'atan2': 2, 'pow': 2}


def random_bit_patterns(name, rng, count):
    return [tuple(from_bits(rng.getrandbits(64)) for _ in range(ARITY.get(name, 1))) for _ in range(count)]


def kernel_range(name, rng, count):
    """Arguments as the kernel uses them: angles of a turn or two, cosines, moderate ratios."""
    if name in ('sin', 'cos'):
        return [(rng.uniform(-2 * math.pi, 2 * math.pi),) for _ in range(count)]
    if name == 'acos':
        return [(rng.uniform(-1.0, 1.0),) for _ in range(count)]
    if name == 'atan':
        return [(rng.uniform(-4.0, 4.0),) for _ in range(count)]
    if name == 'atan2':
        return [(rng.uniform(-10.0, 10.0), rng.uniform(-10.0, 10.0)) for _ in range(count)]
    if name == 'pow':  # the inverse fourth root of determinants, and moderate powers
        half = count // 2
        return ([(rng.uniform(0.01, 100.0), -0.25) for _ in range(half)] +
                [(rng.uniform(0.0, 10.0), rng.uniform(-20.0, 20.0)) for _ in range(count - half)])
    raise KeyError(name)


class Drawn:
    """count random arguments of one set, drawn where they are evaluated from a seed of their
    own, so that a full run never holds 10^7 of them in memory."""

    DRAW = {'random bits': random_bit_patterns, 'kernel range': kernel_range}

    def __init__(self, label, seed, count):
        self.label, self.seed, self.count = label, seed, count

    def __len__(self):
        return self.count

    def pieces(self, name, size):
        return [Drawn(self.label, '%s:%s:%s:%d' % (self.seed, name, self.label, start), min(size, self.count - start))
                for start in range(0, self.count, size)]

    def draw(self, name):
        return self.DRAW[self.label](name, random.Random(self.seed), self.count)


def neighbours(x, steps=2):
    out = [x]
    a = b = x
    for _ in range(steps):
        a, b = math.nextafter(a, -math.inf), math.nextafter(b, math.inf)
        out += [a, b]
    return out


def special_values(name):
    base = [0.0, 5e-324, 2.2250738585072009e-308, 2.2250738585072014e-308, 1.0, 2.0, 0.5,
            1.7976931348623157e308, math.inf, math.nan]
    anchors = {
        'sin': (2.0 ** -27, 2.0 ** -26, math.pi / 4, math.pi / 2, math.pi, 2 * math.pi, 2.0 ** 17, 1e22,
                2.0 ** 1023),
        'acos': (1.0, 0.5, 2.0 ** -54, 2.0 ** -27),
        'atan': (2.0 ** -27, 2.0 ** -26, 1.0, 2.0 ** 54, 2.0 ** 53),
    }
    for anchor in anchors.get('sin' if name == 'cos' else name, ()):
        base += neighbours(anchor)
    values = [s * x for x in base for s in (1.0, -1.0)]
    if name == 'pow':
        return pow_special_values(values)
    if name != 'atan2':
        return [(x,) for x in values]
    pairs = [(y, x) for y in values for x in values]
    # Quotients below 2^-59 that are midpoints between subnormals, or near them; huge ratios.
    pairs += [(k * 5e-324, 2.0) for k in (1, 3, 5, 7, -3, 2**52 + 1)]
    pairs += [(k * 5e-324, 6.0) for k in (3, 9, 15)]
    pairs += [(1.0, 2.0 ** e) for e in (59, 60, 61, 62, 1000)] + [(2.0 ** e, 1.0) for e in (59, 60, 61, 62, 1000)]
    pairs += [(-1.0, -(2.0 ** e)) for e in (59, 60, 61, 62, 1000)]
    return pairs


def pow_special_values(values):
    ys = values + [0.5, -0.5, 1.5, 3.0, -3.0, 0.25, -0.25, 1023.0, 1024.0, -1074.0, -1075.0, 2.0 ** 53, 2.0 ** 53 + 2]
    pairs = [(x, y) for x in values + [-1.0, 3.0, -3.0, 0.75] for y in ys]
    # Exact results and midpoints: powers of two, perfect squares and fourth powers, odd squares
    # of 54 bits, results at the ends of the range.
    pairs += [(2.0, e + 0.0) for e in (-1076, -1075, -1074, -1073, -1022, 1023, 1024)]
    pairs += [(0.5, e + 0.0) for e in (1074, 1075, 1076, -1024)]
    pairs += [(4.0, -537.5), (4.0, -537.0), (2.0 ** -1074, 0.5), (2.0 ** -1074, 1.0 / 1024), (2.0 ** 1000, 0.001)]
    pairs += [(9.0, 1.5), (9.0, -1.5), (81.0, 0.25), (81.0, -0.25), (6561.0, 0.125), (2.25, 0.5), (2.25, -0.5)]
    pairs += [(float(2**27 - 1), 2.0), (float(2**27 + 1), 2.0), (float(2**18 - 1), 3.0), (3.0, 34.0), (3.0, 33.0),
              (-3.0, 33.0), (-(2.0 ** 27 - 1), 2.0), (float((2**27 - 1) ** 2 // 2**4), 0.5), (5.0, 23.0),
              (float(3**33), 1.0 / 3), (10.0, 308.25), (10.0, 308.3), (10.0, -323.5), (10.0, -320.0),
              (1.0000000000000002, 2.0 ** 62), (0.9999999999999999, 2.0 ** 62), (1.0000000000000002, -2.0 ** 60),
              (-2.0, -1075.0), (-2.0, -1073.0), (-0.5, 1075.0), (-10.0, 307.0), (-10.0, 309.0)]
    return pairs


def run_chunk(job):
    """Evaluates one chunk: returns (mismatch lines, accurate-path count)."""
    driver, name, arguments = job
    if isinstance(arguments, Drawn):
        arguments = arguments.draw(name)
    text = ''.join(' '.join([name] + ['%016x' % to_bits(a) for a in x]) + '\n' for x in arguments)
    output = subprocess.run([driver], input=text, capture_output=True, text=True, check=True).stdout.split()
    reference = REFERENCES[name]
    mismatches = []
    accurate = 0
    for i, x in enumerate(arguments):
        got_bits, path = int(output[2 * i], 16), output[2 * i + 1]
        accurate += path == 'a'
        want = reference(*x)
        got = from_bits(got_bits)
        if math.isnan(want) and math.isnan(got):
            continue
        if got_bits != to_bits(want):
            shown = ', '.join(a.hex() for a in x)
            mismatches.append('%s(%s) = %s, want %s [%s]' % (name, shown, got.hex(), want.hex(), path))
    return mismatches, accurate


def check(driver, sets, workers):
    jobs = []
    for (name, label), arguments in sets.items():
        if isinstance(arguments, Drawn):
            jobs += [(driver, name, piece, label) for piece in arguments.pieces(name, CHUNK)]
            continue
        for start in range(0, len(arguments), CHUNK):
            jobs.append((driver, name, arguments[start:start + CHUNK], label))
    totals = {}
    failures = []
    with multiprocessing.Pool(workers) as pool:
        results = pool.map(run_chunk, [job[:3] for job in jobs])
    for job, (mismatches, accurate) in zip(jobs, results):
        key = (job[1], job[3])
        count, acc, bad = totals.get(key, (0, 0, 0))
        totals[key] = (count + len(job[2]), acc + accurate, bad + len(mismatches))
        failures += mismatches
    for (name, label), (count, acc, bad) in sorted(totals.items()):
        print('%-5s %-22s %9d arguments  %7d accurate path  %d wrong' % (name, label, count, acc, bad))
    for line in failures[:50]:
        print('WRONG', line)
    return not failures


def generate(job):
    name, count, seed, boundary = job
    return hard_cases.midpoint_cases(name, count, random.Random(seed), boundary)


def fresh_hard_cases(name, count, seed, workers, boundary=False):
    """count hard cases of name (or cases at the fast path's limits), made on the workers."""
    piece = 2000
    jobs = [(name, min(piece, count - start), seed * 1000003 + start + boundary, boundary)
            for start in range(0, count, piece)]
    with multiprocessing.Pool(workers) as pool:
        return [case for cases in pool.map(generate, jobs) for case in cases]


def stored_cases():
    """{name: [argument tuples]} and {(name, arguments): stored result bits}."""
    by_name = {}
    results = {}
    with open(STORED_CASES) as stored:
        for line in stored:
            name, *bits = line.split()
            arguments = tuple(from_bits(int(b, 16)) for b in bits[:-1])
            by_name.setdefault(name, []).append(arguments)
            results[(name, bits[0], *bits[1:-1])] = int(bits[-1], 16)
    return by_name, results


def read_cases(path):
    """{name: [argument tuples]} from a file of lines 'name bits...' (hard_cases.py --out)."""
    by_name = {}
    with open(path) as cases:
        for line in cases:
            name, *bits = line.split()
            by_name.setdefault(name, []).append(tuple(from_bits(int(b, 16)) for b in bits))
    return by_name


def stored_results_agree(results):
    """Whether every stored result is the reference's; prints the ones that are not."""
    wrong = 0
    for (name, *bits), stored in results.items():
        want = REFERENCES[name](*[from_bits(int(b, 16)) for b in bits])
        if stored != to_bits(want) and not (math.isnan(want) and math.isnan(from_bits(stored))):
            wrong += 1
            print('STORED RESULT WRONG', name, *bits, '%016x' % stored)
    return wrong == 0


def store(names, hard_file, out_file):
    """Writes the special values and the hard cases of hard_file with their reference results."""
    cases = [(name, args) for name in names for args in special_values(name)]
    with open(hard_file) as hard:
        for line in hard:
            name, *bits = line.split()
            cases.append((name, tuple(from_bits(int(b, 16)) for b in bits)))
    lines = []
    seen = set()
    for name, args in cases:
        key = (name, tuple(to_bits(a) for a in args))
        if key in seen:
            continue
        seen.add(key)
        result = REFERENCES[name](*args)
        lines.append(' '.join([name] + ['%016x' % to_bits(a) for a in args] + ['%016x' % to_bits(result)]) + '\n')
    with open(out_file + '.partial', 'w') as out:
        out.writelines(lines)
    os.replace(out_file + '.partial', out_file)
    print('%d cases written to %s' % (len(lines), out_file))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--driver', required=True)
    parser.add_argument('--sample', action='store_true', help='the quick set ctest runs')
    parser.add_argument('--random', type=int, default=20000, help='random arguments per function and set')
    parser.add_argument('--hard', type=int, default=0, help='fresh hard cases per function')
    parser.add_argument('--boundary', type=int, default=0,
                        help="fresh cases per function at the fast path's decision limits")
    parser.add_argument('--cases', nargs='+', default=[], metavar='FILE',
                        help='files of cases written by hard_cases.py, checked as well')
    parser.add_argument('--functions', default=','.join(REFERENCES))
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--workers', type=int, default=1)
    parser.add_argument('--store', nargs=2, metavar=('HARD_CASES', 'OUT'),
                        help='write the special values and the given hard cases with their results')
    args = parser.parse_args()
    names = args.functions.split(',')
    if args.store:
        store(names, args.store[0], args.store[1])
        return 0
    count = 10000 if args.sample else args.random
    sets = {}
    stored, stored_results = stored_cases()
    for name in names:
        sets[(name, 'random bits')] = Drawn('random bits', args.seed, count)
        sets[(name, 'kernel range')] = Drawn('kernel range', args.seed, count)
        sets[(name, 'special values')] = special_values(name)
        sets[(name, 'stored cases')] = stored.get(name, [])
        if args.hard:
            sets[(name, 'fresh hard cases')] = fresh_hard_cases(name, args.hard, args.seed, args.workers)
        if args.boundary:
            sets[(name, 'fresh boundary cases')] = fresh_hard_cases(name, args.boundary, args.seed, args.workers,
                                                                    boundary=True)
    for path in args.cases:
        label = os.path.splitext(os.path.basename(path))[0]
        for name, arguments in read_cases(path).items():
            if name in names:
                sets[(name, label)] = arguments
    if not args.sample:
        near = hard_cases.near_half_pi_multiples()
        for name in names:
            if name in ('sin', 'cos'):
                sets[(name, 'near k pi/2')] = [(x,) for x in near] + [(-x,) for x in near]
    ok = check(args.driver, sets, args.workers)
    ok = stored_results_agree({k: v for k, v in stored_results.items() if k[0] in names}) and ok
    print('all correctly rounded' if ok else 'WRONG RESULTS')
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
