#!/usr/bin/python3
"""Plots of the world's long runs for docs/performance.md, from the CSV files that
vorn_world_orbit and vorn_world_cluster write.

    bench/plot_world_runs.py RUN_DIR OUT_DIR

RUN_DIR holds orbit_steps.csv, orbit_energy.csv and orbit_energy_every_orbit.csv
(vorn_world_orbit RUN_DIR) and cluster/NAME.csv, one file per run of vorn_world_cluster, NAME
being INTEGRATOR_PARAMETER (kdk_5e-4, adaptive_1e-10, …). Writes adaptive-orbit-energy.png,
adaptive-orbit-steps.png and cluster-energy.png into OUT_DIR and prints the fits it draws.
Needs matplotlib (Debian: python3-matplotlib).
"""
import csv
import math
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402 (after the backend is chosen)

FLOOR = 1e-17  # where an error of exactly zero is drawn on logarithmic axes


def rows(path):
    with open(path, encoding="utf-8") as f:
        return [{k: float(v) for k, v in row.items()} for row in csv.DictReader(f)]


def sqrt_fit(times, errors):
    """c of c·√t fitted to log|error| (zeros left out)."""
    logs = [math.log(e) - 0.5 * math.log(t) for t, e in zip(times, errors) if e > 0]
    return math.exp(sum(logs) / len(logs))


def slope(times, errors):
    """Least-squares slope of log|error| against log t (zeros left out)."""
    points = [(math.log(t), math.log(e)) for t, e in zip(times, errors) if e > 0]
    mx = sum(x for x, _ in points) / len(points)
    my = sum(y for _, y in points) / len(points)
    return sum((x - mx) * (y - my) for x, y in points) / sum((x - mx) ** 2 for x, _ in points)


def orbit_energy(run, out):
    log_cadence = rows(run / "orbit_energy.csv")
    every = rows(run / "orbit_energy_every_orbit.csv")
    period = log_cadence[0]["t"]
    fig, ax = plt.subplots(figsize=(7, 4.5))
    for data, label, style in ((every, "one call of step() an orbit", dict(color="tab:orange", lw=0.6)),
                               (log_cadence, "calls at orbits 1, 2, … 20, then ×1.05",
                                dict(color="tab:blue", marker=".", ms=4, lw=0.8))):
        t = [r["t"] for r in data]
        e = [max(abs(r["relative_energy_error"]), FLOOR) for r in data]
        ax.loglog(t, e, label=label, **style)
    t = [r["t"] for r in log_cadence]
    e = [abs(r["relative_energy_error"]) for r in log_cadence]
    c = sqrt_fit(t, e)
    ax.loglog([t[0], t[-1]], [c * math.sqrt(t[0]), c * math.sqrt(t[-1])], "k--", lw=1,
              label=f"√t fitted: {c * math.sqrt(period):.2g}·√(t/T)")
    ax.loglog([t[0], t[-1]], [1e-15 * math.sqrt(t[0] / period), 1e-15 * math.sqrt(t[-1] / period)], ":",
              color="gray", lw=1, label="goal: 1e-15·√(t/T)")
    steps = int(log_cadence[-1]["steps"])
    ax.set_xlabel(f"t (period T = {period:.4f}; {steps:.3g} steps in all)")
    ax.set_ylabel("|ΔE/E| at apocentre")
    ax.set_title("Adaptive integrator, eccentric orbit (d 0.05 to 1), tolerance 1e-10")
    ax.legend(fontsize=8)
    ax.grid(True, which="major", alpha=0.3)
    fig.tight_layout()
    fig.savefig(out / "adaptive-orbit-energy.png", dpi=110)
    plt.close(fig)
    print(f"orbit energy: √t fit c = {c:.3g} (per orbit {c * math.sqrt(period):.3g}); slopes: calls at "
          f"×1.05 {slope(t, e):.3f}, one call an orbit "
          f"{slope([r['t'] for r in every], [abs(r['relative_energy_error']) for r in every]):.3f}")


def orbit_steps(run, out):
    data = rows(run / "orbit_steps.csv")
    t = [r["t"] for r in data]
    h = [r["step"] for r in data]
    d = [r["distance"] for r in data]
    fig, (left, right) = plt.subplots(1, 2, figsize=(9, 4))
    left.semilogy(t, h, ".", ms=3)
    left.set_xlabel("t from apocentre")
    left.set_ylabel("step length")
    right.loglog(d, h, ".", ms=3)
    right.set_xlabel("distance to the attractor at the step's start")
    right.set_ylabel("step length")
    for ax in (left, right):
        ax.grid(True, which="major", alpha=0.3)
    fig.suptitle(f"Adaptive steps over one orbit: {len(data)} steps, tolerance 1e-10")
    fig.tight_layout()
    fig.savefig(out / "adaptive-orbit-steps.png", dpi=110)
    plt.close(fig)
    print(f"orbit steps: {len(data)} steps, from {min(h):.3g} to {max(h):.3g}; "
          f"h/d^1.5 from {min(x / y ** 1.5 for x, y in zip(h, d)):.3g} to {max(x / y ** 1.5 for x, y in zip(h, d)):.3g}")


def cluster(run, out):
    files = sorted((run / "cluster").glob("*.csv"))
    fig, (left, right) = plt.subplots(1, 2, figsize=(10, 4.2))
    for path in files:
        data = rows(path)
        name = path.stem.replace("_", " ")
        t = [r["t"] for r in data]
        e = [max(abs(r["relative_energy_error"]), FLOOR) for r in data]
        left.semilogy(t, e, marker=".", ms=4, lw=0.8, label=name)
        last = data[-1]
        right.loglog([last["wall"]], [max(abs(last["relative_energy_error"]), FLOOR)], "o")
        right.annotate(name + ("" if last["t"] >= 0.999 else f" (to t = {last['t']:.2f})"),
                       (last["wall"], max(abs(last["relative_energy_error"]), FLOOR)), fontsize=7,
                       xytext=(4, 2), textcoords="offset points")
        print(f"cluster {path.stem}: t {last['t']:.3f}, wall {last['wall']:.1f} s, "
              f"ΔE/E {last['relative_energy_error']:.3e}, steps {int(last['steps'])}")
    left.set_xlabel("t")
    left.set_ylabel(f"|ΔE/E| (exactly 0 drawn at {FLOOR:g})")
    left.legend(fontsize=7)
    right.set_xlabel("wall time in step(), two threads (s)")
    right.set_ylabel("|ΔE/E| at the end")
    for ax in (left, right):
        ax.grid(True, which="major", alpha=0.3)
    fig.suptitle("1000-body cluster, softening 1e-10")
    fig.tight_layout()
    fig.savefig(out / "cluster-energy.png", dpi=110)
    plt.close(fig)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    run, out = Path(argv[1]), Path(argv[2])
    orbit_energy(run, out)
    orbit_steps(run, out)
    if (run / "cluster").is_dir():
        cluster(run, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
