#!/usr/bin/python3
"""A self-gravitating cluster on the 3-sphere: the energy error of kdk, yoshida4 and the
adaptive integrator against time.

N bodies of total mass 1 fill a ball of angular radius 0.3 about the pole uniformly (in the
sphere's own volume, which grows as sin² of the distance), with isotropic velocities scaled so
that the cluster is in virial equilibrium (2K = -W); G = 1. Each integrator runs the same
start to t_end with mutual gravity and the chosen softening; the figure shows |ΔE/E| against
time on a log scale. The fixed steps lose energy at every close encounter; the adaptive
integrator shortens its steps through them.

    PYTHONPATH=build-python/python /usr/bin/python3 examples/python/cluster.py --png cluster.png
"""

import argparse
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import vorn  # noqa: E402
from scenes import uniform_ball  # noqa: E402


def cluster(bodies, radius, seed):
    """Positions uniform in the ball of angular radius `radius` about the pole, and isotropic
    tangent velocities of unit scale (rescaled to virial equilibrium by `virialised`)."""
    rng = np.random.default_rng(seed)
    positions = uniform_ball(bodies, radius, rng)
    velocities = rng.normal(size=(bodies, 4))  # the World removes the radial parts
    return positions, velocities


def virialised(world):
    """The world's velocities scaled so that twice the kinetic energy is minus the potential."""
    scale = np.sqrt(-world.potential_energy() / (2.0 * world.kinetic_energy()))
    for body_id in world.ids:
        body = world.body(body_id)
        body.velocity = vorn.HomVec4(*(scale * np.array(body.velocity)))
        world.set_body(body_id, body)


def run(integrator, dt, args):
    world = vorn.World(G=1.0, mutual_gravity=True, threads=args.threads)
    world.softening = args.softening
    world.adaptive_tolerance = args.tolerance
    positions, velocities = cluster(args.bodies, 0.3, args.seed)
    world.add_bodies(positions, velocities, 1.0 / args.bodies)
    virialised(world)
    start_energy = world.energy()
    times, errors = [0.0], [0.0]
    started = time.perf_counter()
    for t in np.linspace(0.0, args.t_end, args.outputs + 1)[1:]:
        world.integrate(t, integrator, dt)
        times.append(world.time)
        errors.append(abs((world.energy() - start_energy) / start_energy))
    seconds = time.perf_counter() - started
    return np.array(times), np.array(errors), seconds, world.step_count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bodies", type=int, default=1000)
    parser.add_argument("--t-end", type=float, default=1.0)
    parser.add_argument("--dt", type=float, default=5e-4, help="the step of kdk and yoshida4")
    parser.add_argument("--softening", type=float, default=1e-10)
    parser.add_argument("--tolerance", type=float, default=1e-10, help="the adaptive integrator's")
    parser.add_argument("--outputs", type=int, default=40)
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--png", default="cluster.png")
    args = parser.parse_args()

    figure, axes = plt.subplots(figsize=(7.5, 4.5))
    for name, integrator, dt in [("kdk", vorn.Integrator.kdk, args.dt),
                                 ("yoshida4", vorn.Integrator.yoshida4, args.dt),
                                 ("adaptive", vorn.Integrator.adaptive, args.dt)]:
        times, errors, seconds, steps = run(integrator, dt, args)
        label = f"{name}: {steps} steps, {seconds:.1f} s"
        print(f"{label}, |ΔE/E| at t = {times[-1]:g}: {errors[-1]:.2e}")
        axes.semilogy(times[1:], np.maximum(errors[1:], 1e-17), label=label)
    axes.set_xlabel("time")
    axes.set_ylabel("|ΔE / E|")
    axes.set_title(f"{args.bodies} bodies, ball of radius 0.3, softening {args.softening:g}, dt {args.dt:g}")
    axes.legend()
    figure.tight_layout()
    figure.savefig(args.png, dpi=100)


if __name__ == "__main__":
    main()
