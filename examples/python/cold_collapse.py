#!/usr/bin/python3
"""Cold collapse on the 3-sphere: a ball of bodies nearly at rest falls together under its own
gravity, summed by the World's tree.

N bodies of total mass 1 start uniform (in the sphere's own volume) inside a ball of angular
radius 0.5 about the pole, with small random velocities (twice their kinetic energy 5% of the
potential energy's magnitude); G = 1. The World steps them with kdk, mutual gravity summed by
the tree (GravitySolver "tree", opening angle --theta, second order), on every core. The
figure shows the bodies in stereographic projection from the antipode, seen from above, at
three times; the script prints the energy drift and how long the steps took.

The choices. A uniform ball of mass M and radius R falls to its centre in the free-fall time
t_ff = (π/2)·√(R³ / 2GM), 0.39 here (the law G·M/(sin²d + ε) is a little stronger than 1/d²
at these distances). The ball contracts, its bodies fall through the centre, and the collapse
leaves a dense core inside an extended halo of bodies thrown out in the bounce (with fewer
bodies, the start's Poisson noise also grows into clumps that fall in and merge). The default run, 150 steps of 0.005, reaches t = 0.75 ≈ 1.9·t_ff,
past the collapse. Starting exactly at rest, the whole mass would fall into the softening
core at once, and steps this long would lose about a tenth of the energy in the bounce; the
small velocities stop the collapse at a larger radius. The softening, ε = 10⁻³ (a core of
angular size √ε ≈ 0.03), caps the density the collapse reaches; structure smaller than √ε is
not resolved. A smaller θ or --dt lowers the drift and costs time.

The energy. The World's energy() sums every pair in double-double arithmetic (O(N²)): too
slow at 10⁵ bodies. The potential energy is estimated here in float64 from the same fixed
sample of pairs at the start and at the end (every pair when there are at most PAIR_SAMPLE of
them), with the standard error of the sample; the kinetic energy is the World's.

    PYTHONPATH=build-python/python /usr/bin/python3 examples/python/cold_collapse.py --out cold.png
"""

import argparse
import os
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import vorn  # noqa: E402
from scenes import uniform_ball  # noqa: E402

G = 1.0
RADIUS = 0.5  # the ball's angular radius
SOFTENING = 1e-3
VIRIAL_RATIO = 0.05  # 2K/|W| of the small random velocities at the start
PAIR_SAMPLE = 10_000_000  # pairs of the potential-energy estimate
PAIR_CHUNK = 1_000_000


def ball(bodies, radius, seed):
    """Positions uniform in the ball of angular radius `radius` about the pole."""
    return uniform_ball(bodies, radius, np.random.default_rng(seed))


def pair_chunks(n, seed):
    """The pairs (i, j), i ≠ j, of the energy estimate in chunks: every pair i < j when there are
    at most PAIR_SAMPLE, else PAIR_SAMPLE drawn uniformly (with replacement) from a fixed seed."""
    if n * (n - 1) // 2 <= PAIR_SAMPLE:
        rows_per_chunk = max(1, PAIR_CHUNK // n)
        for first in range(0, n - 1, rows_per_chunk):
            rows = np.arange(first, min(n - 1, first + rows_per_chunk))
            yield np.repeat(rows, n - 1 - rows), np.concatenate([np.arange(r + 1, n) for r in rows])
        return
    rng = np.random.default_rng(seed)
    for start in range(0, PAIR_SAMPLE, PAIR_CHUNK):
        size = min(PAIR_CHUNK, PAIR_SAMPLE - start)
        i = rng.integers(0, n, size=size)
        j = (i + rng.integers(1, n, size=size)) % n  # never i
        yield i, j


def pair_potentials(positions, masses, i, j):
    """G·m_i·m_j·Φ for each pair: Φ = −atan(√(ε/(1+ε))·cot d) / √(ε(1+ε)), the law's potential
    (zero at d = π/2), cot d taken on each body's side (|p·q| / |p∧q|)."""
    c = np.abs(np.einsum("ij,ij->i", positions[i], positions[j]))
    s = np.sqrt(np.maximum(0.0, 1.0 - c * c))
    phi = -np.arctan2(np.sqrt(SOFTENING / (1.0 + SOFTENING)) * c, s) / np.sqrt(SOFTENING * (1.0 + SOFTENING))
    return G * masses[i] * masses[j] * phi


def energy_drift(start, end, masses, seed):
    """(E0, ΔE, standard error of ΔE, pairs used): E0 and ΔE from the potential energy of the
    pairs of `pair_chunks` (scaled to all pairs) and the kinetic energies given in start and end."""
    (p0, k0), (p1, k1) = start, end
    n = len(masses)
    total_pairs = n * (n - 1) // 2
    used = w0 = d_sum = d_squares = 0.0
    for i, j in pair_chunks(n, seed):
        before = pair_potentials(p0, masses, i, j)
        change = pair_potentials(p1, masses, i, j) - before
        used += i.size
        w0 += before.sum()
        d_sum += change.sum()
        d_squares += (change * change).sum()
    scale = total_pairs / used
    error = 0.0
    if used < total_pairs:  # a sample: the standard error of its mean change, scaled to all pairs
        variance = (d_squares - d_sum * d_sum / used) / (used - 1)
        error = total_pairs * np.sqrt(max(0.0, variance) / used)
    return k0 + scale * w0, (k1 - k0) + scale * d_sum, error, int(used)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bodies", type=int, default=100_000)
    parser.add_argument("--steps", type=int, default=150)
    parser.add_argument("--dt", type=float, default=0.005)
    parser.add_argument("--theta", type=float, default=0.5, help="the tree's opening angle, in [0, 1)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", default="cold-collapse.png")
    args = parser.parse_args()
    if args.bodies < 2 or args.steps < 1 or not args.dt > 0.0:
        parser.error("--bodies must be at least 2, --steps at least 1 and --dt positive")

    threads = len(os.sched_getaffinity(0))
    world = vorn.World(G=G, mutual_gravity=True, threads=threads)
    world.softening = SOFTENING
    world.gravity_solver = vorn.GravitySolver("tree", theta=args.theta, order=2)
    masses = np.full(args.bodies, 1.0 / args.bodies)
    # Isotropic velocities of dispersion σ in each of the three tangent directions (the World
    # removes the radial part): K = 3σ²M/2 = VIRIAL_RATIO·|W|/2, |W| ≈ 3GM²/5R for the ball.
    sigma = np.sqrt(VIRIAL_RATIO * 0.6 * G / RADIUS / 3.0)
    velocities = sigma * np.random.default_rng(args.seed + 1).normal(size=(args.bodies, 4))
    world.add_bodies(ball(args.bodies, RADIUS, args.seed), velocities, masses)
    start = (world.positions.copy(), world.kinetic_energy())

    t_ff = 0.5 * np.pi * np.sqrt(RADIUS**3 / (2.0 * G))
    # Two intermediate frames, as the clumps form and just after the collapse, or at a third
    # and two thirds of a run too short to reach them.
    t_end = args.steps * args.dt
    wanted = [0.8 * t_ff, 1.3 * t_ff] if t_end > 1.5 * t_ff else [t_end / 3, 2 * t_end / 3]
    frame_steps = sorted({min(args.steps, max(1, round(t / args.dt))) for t in wanted} | {args.steps})
    frames = []
    started = time.perf_counter()
    for k in frame_steps:
        world.step(args.dt, vorn.Integrator.kdk, steps=k - world.step_count)
        frames.append((world.time, world.positions.copy()))
    seconds = time.perf_counter() - started
    end = (world.positions.copy(), world.kinetic_energy())

    e0, change, error, used = energy_drift(start, end, masses, args.seed)
    print(f"{args.bodies} bodies, θ = {args.theta:g}, {args.steps} kdk steps of {args.dt:g} on {threads} threads: "
          f"{seconds:.1f} s ({seconds / max(1, args.steps):.3f} s a step)")
    every_pair = used == args.bodies * (args.bodies - 1) // 2
    sample = "every pair" if every_pair else f"{used} sampled pairs, standard error {abs(error / e0):.1e}"
    print(f"energy drift ΔE/|E0| = {change / abs(e0):.2e} ({sample}); E0 = {e0:.6f}, t_ff = {t_ff:.3f}")

    extent = 1.15 * np.sin(RADIUS) / (1.0 + np.cos(RADIUS))  # the ball's image, with a margin
    fig, axes = plt.subplots(1, len(frames), figsize=(4.2 * len(frames), 4.6), squeeze=False)
    for ax, (t, positions) in zip(axes[0], frames):
        vorn.plot_projection(positions, ax=ax)
        ax.lines[-1].set(markersize=0.5, alpha=min(1.0, 3e3 / args.bodies + 0.1), color="black",
                         markeredgewidth=0)
        ax.set_xlim(-extent, extent)
        ax.set_ylim(-extent, extent)
        ax.set_xlabel("x (stereographic)")
        ax.set_ylabel("y (stereographic)")
        ax.set_title(f"t = {t:.2f} = {t / t_ff:.1f} t_ff")
    fig.suptitle(f"Cold collapse on S³: N = {args.bodies}, tree θ = {args.theta:g}, kdk dt = {args.dt:g}, "
                 f"t = {world.time:.2f}")
    fig.tight_layout()
    fig.savefig(args.out, dpi=100)
    print(f"wrote {args.out}")


if __name__ == "__main__":
    main()
