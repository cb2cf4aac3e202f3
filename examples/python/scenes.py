"""Starting positions the Python examples share."""

import numpy as np


def uniform_ball(bodies, radius, rng):
    """Positions uniform in the ball of angular radius `radius` about the pole (0, 0, 0, 1), as
    an array of shape (bodies, 4): the distance from the pole has density ∝ sin² r on
    [0, radius] (drawn by rejection), the direction is isotropic."""
    distance = np.empty(0)
    while distance.size < bodies:
        r = rng.uniform(0.0, radius, size=2 * bodies)
        keep = rng.uniform(0.0, np.sin(radius) ** 2, size=r.size) < np.sin(r) ** 2
        distance = np.concatenate([distance, r[keep]])
    distance = distance[:bodies]
    direction = rng.normal(size=(bodies, 3))
    direction /= np.linalg.norm(direction, axis=1)[:, None]
    return np.hstack([np.sin(distance)[:, None] * direction, np.cos(distance)[:, None]])
