"""The World through Python: views of its arrays and their lifetime, threads, errors, and the
C++ determinism scene's golden hash."""

import gc
import pickle
import signal
import struct
import subprocess
import sys
import time

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


def test_add_bodies_adds_every_row_or_none_and_names_the_row_refused():
    world, ids = small_world()
    units = np.eye(4)[:3]
    still = np.zeros((3, 4))
    nan_row, zero_row, fast = units.copy(), units.copy(), still.copy()
    nan_row[1, 0] = np.nan
    zero_row[2] = 0.0
    fast[1, 3] = 2.0**101
    cases = [(nan_row, still, "row 1", "position", "(nan, 1, 0, 0)"),
             (zero_row, still, "row 2", "position", "(0, 0, 0, 0)"),
             (units, fast, "row 1", "velocity", "2.5353012004564588e+30")]
    for positions, velocities, row, field, value in cases:
        with pytest.raises(ValueError) as caught:
            world.add_bodies(positions, velocities, np.ones(3))
        message = str(caught.value)
        assert row in message and field in message and value in message, message
        assert len(world) == 10 and np.array_equal(world.ids, ids)
    with pytest.raises(TypeError, match="complex128"):
        world.add_bodies(units, still, np.ones(3) + 0j)
    assert list(world.add_bodies(units, still, 1.0)) == [10, 11, 12]  # no id was spent


def test_add_bodies_takes_array_likes_and_stores_what_world_add_stores():
    rng = np.random.default_rng(8)
    positions = rng.normal(size=(6, 4))
    positions[:3] = vorn.normalize(positions[:3]) * (1 + 2.0**-44)  # near the sphere: kept as given
    velocities = rng.normal(size=(6, 4))
    masses = rng.uniform(0.5, 2.0, size=6)
    one_by_one = vorn.World()
    for p, v, m in zip(positions, velocities, masses):
        body = vorn.VornBody(position=vorn.HomVec4(p), velocity=vorn.HomVec4(v), mass=m, restitution=0.25)
        one_by_one.add(body)
    bulk = vorn.World()
    bulk.add_bodies(positions.tolist(), velocities.tolist(), masses.tolist(), restitution=0.25)
    assert [repr(b) for b in bulk.export_bodies()] == [repr(b) for b in one_by_one.export_bodies()]
    for mass in (3.0, [3.0], np.float32(3.0)):  # broadcast to every row, as NumPy would
        world = vorn.World()
        world.add_bodies(positions[:2], velocities[:2], mass)
        assert [b.mass for b in world.export_bodies()] == [3.0, 3.0]


def test_bulk_state_reads_and_writes_whole_arrays_all_or_none():
    world, ids = small_world()
    rng = np.random.default_rng(9)
    positions = rng.normal(size=(10, 4))
    expected = vorn.World()
    expected.add_bodies(positions, world.velocities.copy(), world.masses)
    world.set_positions(positions)
    assert np.array_equal(world.positions, expected.positions)
    assert np.array_equal(world.velocities, expected.velocities)  # tangent to the new positions
    world.set_masses([5.0, 6.0], ids=np.array([ids[7], ids[2]], dtype=np.int32))
    world.set_velocities(np.zeros((1, 4)), ids=[ids[4]])
    assert world.masses[2] == 6.0 and world.masses[7] == 5.0 and not world.velocities[4].any()
    world.set_masses(2.0)
    assert np.array_equal(world.masses, np.full(10, 2.0)) and np.array_equal(world.radii, np.zeros(10))
    world.set_body(ids[1], vorn.VornBody.static_(vorn.HomVec4(0, 0, 0, 1)))
    assert list(world.body_types[:3]) == [1, 0, 1] and not world.test_particles.any()
    before = world.positions.copy()
    bad = positions.copy()
    bad[3] = np.nan
    for call, error, text in [(lambda: world.set_positions(bad), ValueError, f"body {ids[3]}"),
                              (lambda: world.set_positions(positions[:4]), ValueError, "expected 10 rows"),
                              (lambda: world.set_masses(1.0, ids=[ids[1], ids[1]]), ValueError, "named twice"),
                              (lambda: world.set_masses(1.0, ids=[1.5]), TypeError, "integer ids"),
                              (lambda: world.remove_bodies([ids[1], 99]), IndexError, "99")]:
        with pytest.raises(error, match=text):
            call()
        assert len(world) == 10 and np.array_equal(world.positions, before)
    world.remove_bodies(np.array([ids[9], ids[0]], dtype=np.uint64))
    assert np.array_equal(world.ids, ids[1:9])


def test_bodies_take_options_and_touching_ones_merge_keeping_the_bivector():
    world = vorn.World(G=0.01, mutual_gravity=True)
    positions = vorn.normalize([[0, 0, 0, 1], [0.01, 0, 0, 1], [0, 0.01, 0, 1]])
    velocities = [[0.1, 0, 0, 0], [0, 0.2, 0, 0], [0, 0, 0.3, 0]]
    light, heavy, third = world.add_bodies(positions, velocities, [1.0, 2.0, 1.0], radius=0.02)
    tracer = world.add(vorn.VornBody((0.01, 0.01, 0, 1), (0, 0, 0, 0), 5.0), radius=0.05, test_particle=True)
    contacts = world.touching_contacts()
    assert [(c["a"], c["b"]) for c in contacts] == [(0, 1), (0, 2), (0, 3), (1, 2), (1, 3), (2, 3)]
    before = np.array(world.angular_momentum())
    view = world.positions
    with pytest.raises(BufferError):
        world.merge_contacts(contacts)
    del view
    # The light body goes into the heavy one, then the third; the tracer, though heavier still,
    # is absorbed too: a test particle never keeps a body that is not one.
    assert world.merge_contacts(contacts) == [(heavy, light), (heavy, third), (heavy, tracer)]
    assert list(world.ids) == [heavy] and world.body(heavy).mass == 9.0
    assert np.allclose(np.array(world.angular_momentum()), before, rtol=0, atol=1e-15)
    assert np.linalg.norm(np.array(world.spin(heavy))) > 1e-4  # what one point cannot carry
    with pytest.raises(IndexError):
        world.spin(light)


CTRL_C_CHILD = """
import signal, sys, time
import numpy as np, vorn

# Ctrl-C raises KeyboardInterrupt even when this run was started with SIGINT ignored (a
# background job of a shell does that, and Python then leaves it ignored).
signal.signal(signal.SIGINT, signal.default_int_handler)

def scene():
    rng = np.random.default_rng(11)
    world = vorn.World(G=0.01, mutual_gravity=True)
    world.add_bodies(vorn.normalize(rng.normal(size=(400, 4))), np.zeros((400, 4)), np.ones(400))
    return world

def state(world):
    return np.hstack([world.positions, world.velocities]).tobytes()

world = scene()
print("stepping", flush=True)
try:
    world.step(0.001, steps=10**15)
except KeyboardInterrupt:
    print(time.monotonic(), flush=True)
else:
    sys.exit("the batch ran to its end")
world.step(0.001)  # the world is usable, and it is as after a whole number of steps
replay = scene()
for steps in range(1, 100000):
    replay.step(0.001)
    if state(replay) == state(world):
        sys.exit(0)
sys.exit("no whole number of steps gives the interrupted world's state")
"""


def test_ctrl_c_ends_a_batch_of_steps_after_a_whole_step():
    child = subprocess.Popen([sys.executable, "-c", CTRL_C_CHILD], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "stepping\n"
        time.sleep(0.3)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=30)
    finally:
        if child.poll() is None:
            child.kill()
            child.communicate()
    assert child.returncode == 0, err
    assert float(out.split()[0]) - sent < 1.0  # the interrupt is seen within a step or two


def test_softening_time_energies_and_the_adaptive_integrator_reach_python():
    world, ids = small_world()
    world.softening = 1e-4
    with pytest.raises(ValueError, match="softening"):
        world.softening = -1.0
    assert world.softening == 1e-4
    assert world.integrate(1.0, vorn.Integrator.adaptive, 0.3) == 4
    assert world.time == 1.0
    assert world.step_count == world.adaptive_report["steps"] > 0
    assert abs(world.kinetic_energy() + world.potential_energy() - world.energy()) <= 1e-15 * abs(world.energy())
    assert vorn.gravity_potential((0, 0, 0, 1), (1, 0, 0, 0), 1.0) == 0.0


def test_the_gravity_solver_is_set_checked_and_kept_by_pickle():
    world, _ = small_world()
    assert world.gravity_solver == vorn.GravitySolver("automatic")
    tree = vorn.GravitySolver("tree", theta=0.5, order=1)
    world.gravity_solver = tree
    for refused, match in [(vorn.GravitySolver("tree", theta=1.0), "θ"),
                           (vorn.GravitySolver("direct", order=3), "order")]:
        with pytest.raises(ValueError, match=match):
            world.gravity_solver = refused
    with pytest.raises(ValueError, match="'fast'"):
        vorn.GravitySolver("fast")
    assert world.gravity_solver == tree and world.gravity_solver.method == "tree"
    assert pickle.loads(pickle.dumps(world)).gravity_solver == tree
