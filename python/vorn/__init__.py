"""Geometry and point-body physics on the unit 3-sphere.

Every function gives the bits the C++ library gives. Batches of points are (N, 4) float64
NumPy arrays, one point per row, components in the order x, y, z, w.
"""

from ._vorn import *  # noqa: F401,F403
from ._vorn import World as _World
from ._vorn import __doc__ as _extension_doc  # noqa: F401
from ._npz import from_npz as _from_npz
from ._npz import to_npz as _to_npz

_World.to_npz = _to_npz
_World.from_npz = staticmethod(_from_npz)
from ._plots import plot_energy_error, plot_projection  # noqa: F401
from ._movie import Movie, view  # noqa: F401

__all__ = [name for name in dir() if not name.startswith("_")]
