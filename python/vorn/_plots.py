"""The usual pictures of a run with matplotlib, which is imported only when one is drawn (so
``import vorn`` does not need it). Each function draws into ``ax`` when given, else into a new
figure, and returns the Axes."""

from __future__ import annotations

from typing import TYPE_CHECKING, Sequence

import numpy as np
import numpy.typing as npt

from . import _vorn

if TYPE_CHECKING:
    from matplotlib.axes import Axes


def _axes(ax: Axes | None) -> Axes:
    if ax is not None:
        return ax
    import matplotlib.pyplot as plt

    _, ax = plt.subplots()
    return ax


def plot_projection(positions: npt.ArrayLike, *, pole: Sequence[float] = (0.0, 0.0, 0.0, -1.0),
                    max_radius: float = 1.5, ax: Axes | None = None) -> Axes:
    """Bodies' positions in stereographic projection from ``pole``, seen from above (x, y).

    ``positions`` is an (N, 4) array (one dot a body) or an (F, N, 4) array such as
    ``Movie.positions`` (one path a body, its start marked). Images farther out than
    ``max_radius`` are left out, as vorn.stereographic does.
    """
    points = np.asarray(positions, dtype=np.float64)
    if points.ndim not in (2, 3) or points.shape[-1] != 4:
        raise ValueError(f"positions must be an (N, 4) or (F, N, 4) array, got shape {points.shape}")
    projection = _vorn.StereographicPole.at(_vorn.HomVec4(*pole), max_radius)
    image = _vorn.stereographic(points.reshape(-1, 4), projection).reshape(points.shape[:-1] + (3,))
    ax = _axes(ax)
    if points.ndim == 2:
        ax.plot(image[:, 0], image[:, 1], ".", ms=4)
    else:
        for body in range(points.shape[1]):
            line = ax.plot(image[:, body, 0], image[:, body, 1], lw=0.8)[0]
            ax.plot(image[0, body, 0], image[0, body, 1], "o", ms=3, color=line.get_color())
    ax.set_aspect("equal")
    ax.set_xlabel("x")
    ax.set_ylabel("y")
    ax.set_title("stereographic projection")
    return ax


def plot_energy_error(times: npt.ArrayLike, energies: npt.ArrayLike, *, ax: Axes | None = None) -> Axes:
    """The relative energy error |E(t) - E(0)| / |E(0)| against time, on a log scale (the
    absolute error when E(0) is 0); ``Movie.times`` and ``Movie.energies`` give a run's."""
    t = np.asarray(times, dtype=np.float64)
    e = np.asarray(energies, dtype=np.float64)
    if t.shape != e.shape or t.ndim != 1 or t.size == 0:
        raise ValueError("times and energies must be one-dimensional arrays of the same, non-zero length")
    scale = abs(e[0]) if e[0] != 0 else 1.0
    error = np.abs(e - e[0]) / scale
    ax = _axes(ax)
    ax.semilogy(t[1:], error[1:])
    ax.set_xlabel("time")
    ax.set_ylabel("|E − E₀| / |E₀|" if e[0] != 0 else "|E − E₀|")
    ax.set_title("energy error")
    return ax
