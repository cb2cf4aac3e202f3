"""Watching a World move: vorn.view steps it and records the animated page the orbits example
writes (``orbits --html``), to show inline in a notebook or save as one self-contained file."""

from __future__ import annotations

import html
import math
import os
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _vorn
from ._files import replace_file


class Movie:
    """A recorded run: the page (``html``), and per frame its step, time, energy and positions.

    In a notebook the page shows inline; ``save(path)`` writes it as one file that needs
    nothing else (no network, no library).
    """

    html: str
    steps: npt.NDArray[np.uint64]  # (F,) the step of each frame
    times: npt.NDArray[np.float64]  # (F,) World.time at each frame
    energies: npt.NDArray[np.float64]  # (F,) World.energy() at each frame
    positions: npt.NDArray[np.float64]  # (F, N, 4) every body's position at each frame

    def __init__(self, page: str, steps: npt.NDArray[np.uint64], times: npt.NDArray[np.float64],
                 energies: npt.NDArray[np.float64], positions: npt.NDArray[np.float64]) -> None:
        """A movie of the page `page` and the frames' values (vorn.view makes them)."""
        self.html = page
        self.steps = steps
        self.times = times
        self.energies = energies
        self.positions = positions

    def __repr__(self) -> str:
        frames, bodies = self.positions.shape[:2]
        return f"<vorn.Movie of {bodies} bodies, {frames} frames to step {int(self.steps[-1])}>"

    def _repr_html_(self) -> str:
        """The page in an iframe of its own, so that its script and style run apart from the notebook's."""
        return (
            '<iframe sandbox="allow-scripts" style="width: 100%; height: 780px; border: 0" srcdoc="'
            + html.escape(self.html, quote=True)
            + '"></iframe>'
        )

    def save(self, path: str | os.PathLike[str]) -> None:
        """Writes the page to ``path``: to a new file beside it first, renamed over ``path`` once
        complete, so an existing file is never left truncated."""
        data = self.html.encode("utf-8")
        replace_file(path, lambda out: out.write(data))


def _integrator(value: Any) -> Any:
    if isinstance(value, str):
        try:
            return getattr(_vorn.Integrator, value)
        except AttributeError:
            names = ", ".join(_vorn.Integrator.__members__)
            raise ValueError(f"integrator must be one of {names}, got {value!r}") from None
    return value


def _storage_index(ids: npt.NDArray[np.uint64], id_: int) -> int:
    return int(np.searchsorted(ids, id_))


def view(world: _vorn.World, steps: int, dt: float, integrator: _vorn.Integrator | str = "kdk", *,
         max_points: int = 20000, contact_distance: float | None = None, title: str | None = None,
         subtitle: str | None = None) -> Movie:
    """Steps ``world`` ``steps`` times by ``dt`` and returns the Movie of the run.

    About ``max_points`` positions are kept in all (frames evenly spaced, the first and the last
    always). With ``contact_distance``, pairs of bodies closer than it (World.contacts) are marked
    when they begin to touch; the world is then stepped one step at a time. The world's
    attractors are drawn fixed. The world ends stepped, as by ``world.step``.
    """
    integrator = _integrator(integrator)
    steps = int(steps)
    if steps < 0:
        raise ValueError("steps must be at least 0")
    bodies = len(world)
    if bodies == 0:
        raise ValueError("the world has no bodies to show")
    if max_points < 1:
        raise ValueError("max_points must be at least 1")
    frames_wanted = max(2, max_points // bodies)
    stride = max(1, math.ceil(steps / (frames_wanted - 1)))

    frame_steps, times, energies, positions = [], [], [], []
    contacts, touching = [], set()

    def record(step):
        frame_steps.append(step)
        times.append(world.time)
        energies.append(world.energy())
        positions.append(np.array(world.positions))

    def look_for_contacts(step):
        ids = world.ids
        now = set()
        for contact in world.contacts(contact_distance):
            pair = (_storage_index(ids, contact["a"]), _storage_index(ids, contact["b"]))
            now.add(pair)
            if pair not in touching:
                contacts.append((step, *pair))
        touching.clear()
        touching.update(now)

    if contact_distance is not None:
        look_for_contacts(0)
    record(0)
    done = 0
    while done < steps:
        batch = 1 if contact_distance is not None else min(stride - done % stride, steps - done)
        world.step(dt, integrator, batch)
        done += batch
        if contact_distance is not None:
            look_for_contacts(done)
        if done % stride == 0 or done == steps:
            record(done)

    if title is None:
        title = f"{bodies} {'body' if bodies == 1 else 'bodies'} on S\u00b3"
    if subtitle is None:
        name = integrator.name
        subtitle = f"{name}, dt = {dt:g}, {steps} steps, G = {world.G:g}" + (
            ", mutual gravity" if world.mutual_gravity else "")
    attractors = np.array([[a.position.x, a.position.y, a.position.z, a.position.w] for a in world.attractors],
                          dtype=np.float64).reshape(-1, 4)
    stacked = np.stack(positions)
    page = _vorn._movie_page(bodies, np.array(frame_steps, dtype=np.uint64), stacked.reshape(-1, 4), attractors,
                             np.array(contacts, dtype=np.uint64).reshape(-1, 3), np.zeros((0, 3), dtype=np.uint64),
                             title, subtitle)
    return Movie(page, np.array(frame_steps, dtype=np.uint64), np.array(times), np.array(energies), stacked)
