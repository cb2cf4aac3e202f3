#!/usr/bin/python3
"""The figure of docs/world.md ("Rounding that repeats") from vorn_world_energy_drift's CSV.

One panel a distance: |dE/E| against t for kdk, yoshida4 turned by products (its bits before),
yoshida4 now, and the random walk of the rounding (the sqrt(t) line).

    build-bench/bench/vorn_world_energy_drift > drift.csv
    /usr/bin/python3 bench/plot_energy_drift.py drift.csv docs/world-energy-drift.png
"""

import argparse
import collections

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

DT = 0.001
STYLE = {
    "kdk": ("kdk", "tab:blue", "-"),
    "yoshida4_products": ("yoshida4 before (turned by products)", "tab:red", "-"),
    "yoshida4": ("yoshida4 now", "tab:green", "-"),
    "random_walk": ("random walk of the rounding, σ√n/|E|", "black", "--"),
}


def read(path):
    series = collections.defaultdict(lambda: ([], []))
    with open(path) as f:
        for line in f:
            if line.startswith("#") or line.startswith("d,"):
                continue
            d, name, step, value = line.strip().split(",")
            t, v = series[(d, name)]
            t.append(int(step) * DT)
            v.append(float(value))
    return series


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("csv")
    parser.add_argument("png")
    args = parser.parse_args()
    series = read(args.csv)
    distances = sorted({d for d, _ in series})
    fig, axes = plt.subplots(2, 2, figsize=(11, 8), sharex=True)
    for ax, d in zip(axes.flat, distances):
        for name, (label, color, dash) in STYLE.items():
            if (d, name) not in series:
                continue
            t, v = series[(d, name)]
            points = [(x, y) for x, y in zip(t, v) if y > 0]
            ax.loglog([x for x, _ in points], [y for _, y in points], dash, color=color, label=label, lw=1.2)
        ax.set_title(f"circular orbit at d = {d}, dt = {DT}")
        ax.grid(True, which="major", alpha=0.3)
        ax.set_ylabel("|ΔE/E|")
    for ax in axes[1]:
        ax.set_xlabel("t")
    axes.flat[0].legend(loc="upper left", fontsize=8)
    fig.tight_layout()
    fig.savefig(args.png, dpi=90)


if __name__ == "__main__":
    main()
