#!/usr/bin/python3
"""Orbits on the 3-sphere from Python: one scene stepped by the world's three integrators.

Twelve bodies circle an attractor at the pole on orbits of several eccentricities and
inclinations. The same start is run with `compat` (the kernel's
integration step, forces held over the step), `kdk` (kick-drift-kick) and `yoshida4`; the figure
shows each run's total energy over time beside the trajectories of the `yoshida4` run in
stereographic projection from the antipode of the pole.

    PYTHONPATH=build-python/python /usr/bin/python3 examples/python/orbits.py --png orbits.png
"""

import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import vorn  # noqa: E402


POLE = np.array([0.0, 0.0, 0.0, 1.0])


def start(seed, bodies, gm):
    """Bodies at angles 0.5 to 1.2 from the pole, moving across the line to it at about the
    speed of a circular orbit around a mass gm at the pole: v² = gm·tan d / sin² d."""
    rng = np.random.default_rng(seed)
    d = rng.uniform(0.5, 1.2, size=bodies)
    u = rng.normal(size=(bodies, 3))
    u /= np.linalg.norm(u, axis=1)[:, None]
    across = np.cross(u, rng.normal(size=(bodies, 3)))
    across /= np.linalg.norm(across, axis=1)[:, None]
    p = np.hstack([np.sin(d)[:, None] * u, np.cos(d)[:, None]])
    speed = np.sqrt(gm * np.tan(d)) / np.sin(d) * rng.uniform(0.85, 1.05, size=bodies)
    v = np.hstack([speed[:, None] * across, np.zeros((bodies, 1))])
    return vorn.normalize(p), v


def run(integrator, steps, dt, seed, bodies, every):
    world = vorn.World(G=1.0)
    world.add_attractor(vorn.HomVec4(*POLE), 1.0)
    p, v = start(seed, bodies, gm=1.0)
    world.add_bodies(p, v, np.ones(bodies))
    energy = [world.energy()]
    path = [world.positions.copy()]
    for _ in range(steps // every):
        world.step(dt, integrator, steps=every)
        energy.append(world.energy())
        path.append(world.positions.copy())
    return np.array(energy), np.array(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--steps", type=int, default=4000)
    parser.add_argument("--dt", type=float, default=0.005)
    parser.add_argument("--bodies", type=int, default=12)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--png", default="orbits.png")
    args = parser.parse_args()
    every = max(1, args.steps // 400)

    runs = {}
    for integrator in (vorn.Integrator.compat, vorn.Integrator.kdk, vorn.Integrator.yoshida4):
        runs[integrator.name] = run(integrator, args.steps, args.dt, args.seed, args.bodies, every)

    fig, (ax_energy, ax_paths) = plt.subplots(1, 2, figsize=(12, 5.2))
    t = np.arange(len(runs["kdk"][0])) * every * args.dt
    for name, (energy, _) in runs.items():
        # Absolute, not relative: the softened potential carries a large constant, π/(2√ε)·G·M.
        ax_energy.plot(t[1:], np.abs(energy[1:] - energy[0]), label=name)
    ax_energy.set_xlabel("time")
    ax_energy.set_ylabel("energy error |E - E0|")
    ax_energy.set_yscale("log")
    ax_energy.set_title("Energy error of each integrator")
    ax_energy.legend()

    pole = vorn.StereographicPole.at(vorn.HomVec4(0, 0, 0, -1), 8.0)  # the pole lands at the origin
    path = runs["yoshida4"][1]  # (frames, bodies, 4)
    for body in range(path.shape[1]):
        image = vorn.stereographic(path[:, body, :], pole)  # NaN rows where the view blows up
        ax_paths.plot(image[:, 0], image[:, 1], lw=0.8)
        ax_paths.plot(image[0, 0], image[0, 1], "k.", ms=4)
    ax_paths.set_aspect("equal")
    ax_paths.set_title("yoshida4 trajectories, stereographic (x, y)")
    fig.suptitle(f"{args.bodies} bodies around an attractor on S³, {args.steps} steps of {args.dt:g}")
    fig.tight_layout()
    fig.savefig(args.png, dpi=110)
    print(f"wrote {args.png}")


if __name__ == "__main__":
    main()
