"""World.to_npz and World.from_npz: a world as NumPy arrays anyone can read, and back."""

import os

import numpy as np

from ._files import replace_file


def to_npz(world, path):
    """Writes the world to `path` as a .npz file of NumPy arrays.

    The arrays are those of World.to_arrays (bodies in storage order, attractors), the settings
    and the clock (G, softening, mutual_gravity, compensated, adaptive_tolerance, time,
    step_count), and `snapshot`, the world's snapshot as uint8, which World.from_npz restores
    bit for bit. The file is written beside `path` and renamed over it only when complete.
    """
    arrays = world.to_arrays()
    arrays.update(
        G=np.float64(world.G),
        softening=np.float64(world.softening),
        mutual_gravity=np.bool_(world.mutual_gravity),
        compensated=np.bool_(world.compensated),
        adaptive_tolerance=np.float64(world.adaptive_tolerance),
        time=np.float64(world.time),
        step_count=np.uint64(world.step_count),
        snapshot=np.frombuffer(world.snapshot(), dtype=np.uint8),
    )
    replace_file(path, lambda out: np.savez(out, **arrays))


def from_npz(path, *, threads=1):
    """The world World.to_npz wrote to `path`, restored bit for bit from its `snapshot` array."""
    from ._vorn import World

    with np.load(os.fspath(path), allow_pickle=False) as arrays:
        if "snapshot" not in arrays.files:
            raise ValueError(
                f"{os.fspath(path)} has no 'snapshot' array: it was not written by World.to_npz "
                "(a world can be built from its arrays with World.add_bodies)"
            )
        snapshot = arrays["snapshot"]
        if snapshot.dtype != np.uint8 or snapshot.ndim != 1:
            raise ValueError(f"{os.fspath(path)}: its 'snapshot' array is not one-dimensional uint8")
        return World.from_snapshot(snapshot.tobytes(), threads=threads)
