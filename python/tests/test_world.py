"""The World through Python: views of its arrays and their lifetime, threads, errors, and the
C++ determinism scene's golden hash."""

import gc
import struct

import numpy as np
import pytest
import vorn
from conftest import SOURCE_DIR

MASK = (1 << 64) - 1


class Random:
    """The C++ scenes' splitmix64 generator and its unit and tangent draws."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return z ^ (z >> 31)

    def symmetric(self):
        return float(self.next() >> 11) * 2.0**-52 - 1.0

    def draw(self, scale):
        return [scale * self.symmetric() for _ in range(4)]

    def unit(self):
        while True:
            v = vorn.HomVec4(*self.draw(1.0))
            n2 = vorn.HomVec4.dot(v, v)
            if 1e-4 < n2 <= 1.0:
                return v.normalize()

    def tangent(self, p, scale):
        r = self.draw(scale)
        radial = vorn.HomVec4.dot(vorn.HomVec4(*r), p)
        return vorn.HomVec4(*(ri - radial * pi for ri, pi in zip(r, p)))


def fnv1a(h, data):
    for byte in data:
        h = ((h ^ byte) * 0x100000001B3) & MASK
    return h


def determinism_scene(threads):
    random = Random(2026)
    world = vorn.World(G=0.02, mutual_gravity=True, threads=threads)
    for k in range(3):
        world.add_attractor(random.unit(), 0.5 + 0.25 * k)
    for i in range(96):
        p = random.unit()
        body = vorn.VornBody(p, random.tangent(p, 0.4), 0.5 + 0.05 * (i % 10))
        body.restitution = 0.3 + 0.07 * (i % 10)
        world.add(body)
    integrators = [vorn.Integrator.kdk, vorn.Integrator.yoshida4, vorn.Integrator.compat]
    h = 0xCBF29CE484222325
    for frame in range(300):
        world.step(0.005, integrators[frame % 3])
        contacts = world.contacts(0.08)
        world.resolve_contacts(contacts)
        h = fnv1a(h, contacts.tobytes())
        state = np.hstack([world.positions, world.velocities])
        h = fnv1a(h, state.tobytes() + struct.pack("<d", world.energy()))
    return h


@pytest.mark.parametrize("threads", [1, 2])
def test_the_determinism_scene_gives_the_cpp_golden_hash(threads):
    golden = (SOURCE_DIR / "tests" / "world" / "golden_hash.txt").read_text().split()[0]
    assert format(determinism_scene(threads), "016x") == golden


def small_world():
    rng = np.random.default_rng(5)
    p = vorn.normalize(rng.normal(size=(10, 4)))
    v = rng.normal(size=(10, 4)) * 0.1
    v -= np.sum(v * p, axis=1)[:, None] * p
    world = vorn.World(G=0.5)
    world.add_attractor((0, 0, 0, 1), 1.0)
    ids = world.add_bodies(p, v, np.ones(10))
    return world, ids


def test_views_show_the_world_keep_it_alive_and_pin_its_arrays():
    world, ids = small_world()
    positions = world.positions
    assert positions.shape == (10, 4) and positions.dtype == np.float64 and not positions.flags.writeable
    before = positions.copy()
    world.step(0.01, steps=3)
    assert not np.array_equal(positions, before)  # the view shows the arrays, not a copy
    assert np.array_equal(positions[4], list(world.body(ids[4]).position))
    with pytest.raises(BufferError):
        world.add(vorn.VornBody((1, 0, 0, 0), (0, 0, 0, 0), 1.0))
    with pytest.raises(BufferError):
        world.remove(ids[0])
    with pytest.raises(ValueError):
        positions[0, 0] = 1.0
    row = positions[2:5]  # a view of the view pins the world too
    del positions, world
    gc.collect()
    assert row.shape == (3, 4) and np.all(np.isfinite(row))
    world, ids = small_world()
    view = world.velocities
    del view
    world.remove(ids[0])  # no view left: bodies may go
    assert len(world) == 9 and ids[0] not in world


def test_threads_give_the_same_bits_and_errors_become_python_exceptions():
    for compensated in (False, True):
        results = []
        for threads in (1, 2, 3):
            world, _ = small_world()
            world.mutual_gravity = True
            world.compensated = compensated
            world.threads = threads
            world.step(0.01, vorn.Integrator.yoshida4, steps=5)
            results.append(np.hstack([world.positions, world.velocities]).tobytes())
        assert results[0] == results[1] == results[2]
    world, ids = small_world()
    with pytest.raises(ValueError):
        world.add(vorn.VornBody((1, 0, 0, 0), (float("nan"), 0, 0, 0), 1.0))
    with pytest.raises(IndexError):
        world.body(12345)
    with pytest.raises(ValueError):
        world.threads = 0
