"""Snapshots from Python: pickle, copies, files and .npz restore a world that continues to the same
bits; damaged files are refused; a series keeps a run's history."""

import copy
import pickle

import numpy as np
import pytest
import vorn


def compensated_world():
    rng = np.random.default_rng(5)
    q = rng.normal(size=(20, 4))
    q /= np.linalg.norm(q, axis=1)[:, None]
    v = 0.3 * rng.normal(size=(20, 4))
    v -= np.sum(v * q, axis=1)[:, None] * q
    world = vorn.World(mutual_gravity=True, threads=2)
    world.softening = 1e-3
    world.compensated = True
    world.add_attractor(vorn.HomVec4(0, 0, 0, 1), 0.5)
    world.add_bodies(q, v, rng.uniform(0.01, 0.02, size=20))
    world.step(0.01, vorn.Integrator.adaptive, steps=3)  # its predictions are part of the state
    return world


def test_every_copy_continues_to_the_same_bits(tmp_path):
    world = compensated_world()
    world.save(tmp_path / "world.vorn")
    world.to_npz(tmp_path / "world.npz")
    copies = [
        pickle.loads(pickle.dumps(world)),
        copy.copy(world),
        copy.deepcopy(world),
        vorn.World.load(tmp_path / "world.vorn", threads=2),
        vorn.World.from_npz(tmp_path / "world.npz"),
    ]
    assert copies[0].threads == 2
    with np.load(tmp_path / "world.npz") as arrays:  # readable without vorn
        assert np.array_equal(arrays["positions"], world.positions)
        assert arrays["ids"].dtype == np.uint64 and arrays["time"] == world.time
    for integrator in (vorn.Integrator.adaptive, vorn.Integrator.yoshida4):
        for w in [world] + copies:
            w.step(0.01, integrator, steps=2)
    for w in copies:
        assert w.snapshot() == world.snapshot()
        assert np.array_equal(w.velocities, world.velocities)


def test_damaged_or_missing_files_are_refused(tmp_path):
    data = compensated_world().snapshot()
    for damaged in (data[:-1], data[:100], data[:50] + bytes([data[50] ^ 1]) + data[51:], b"PK\x03\x04" + data):
        with pytest.raises(vorn.SnapshotError):
            vorn.World.from_snapshot(damaged)
    with pytest.raises(FileNotFoundError):
        vorn.World.load(tmp_path / "absent.vorn")
    (tmp_path / "arrays.npz").write_bytes(b"")
    np.savez(tmp_path / "arrays.npz", positions=np.zeros((1, 4)))
    with pytest.raises(ValueError, match="no 'snapshot' array"):
        vorn.World.from_npz(tmp_path / "arrays.npz")


def test_series_keeps_a_snapshot_every_k_steps(tmp_path):
    world = compensated_world()
    start = world.step_count
    series = vorn.SnapshotSeries(tmp_path / "run.vorns")
    kept = []
    for _ in range(4):
        world.step(0.005, vorn.Integrator.kdk, steps=10)
        series.append(world)
        kept.append(world.snapshot())
    reopened = vorn.SnapshotSeries(tmp_path / "run.vorns")
    assert len(reopened) == 4 and reopened.trailing_bytes == 0
    assert list(reopened.step_counts) == [start + 10, start + 20, start + 30, start + 40]
    assert reopened[1].snapshot() == kept[1] and reopened[-1].snapshot() == kept[-1]
    assert reopened.times[-1] == world.time
