"""The NumPy boundary: accepted shapes and dtypes, clear refusals, errors as Python exceptions,
and batch calls that let other Python threads run."""

import copy
import pickle
import re
import sys
import threading

import numpy as np
import pytest
import vorn


def test_real_arrays_of_any_layout_are_accepted_once_converted():
    rng = np.random.default_rng(7)
    points = rng.normal(size=(9, 4))
    expected = vorn.normalize(points)
    assert expected.dtype == np.float64 and expected.flags.c_contiguous and expected.shape == (9, 4)
    assert np.array_equal(vorn.normalize(np.asfortranarray(points)), expected)
    strided = np.zeros((9, 8))
    strided[:, ::2] = points
    assert np.array_equal(vorn.normalize(strided[:, ::2]), expected)
    ints = np.arange(8).reshape(2, 4)
    assert np.array_equal(vorn.normalize(ints), vorn.normalize(ints.astype(np.float64)))
    assert np.array_equal(vorn.normalize(points.astype(np.float32)), vorn.normalize(points.astype(np.float32).astype(float)))
    assert vorn.normalize(np.empty((0, 4))).shape == (0, 4)
    # `out` receives the batch apply in place, the input itself included.
    m = vorn.pgl_rotate_z(0.5)
    out = np.empty_like(expected)
    assert vorn.apply_to_all(m, expected, out=out) is out and np.array_equal(out, m.apply(expected))
    assert np.array_equal(vorn.apply_to_all(m, out, out=out), m.apply(m.apply(expected)))
    # Without `out`, results are new arrays: the input is never written.
    before = points.copy()
    vorn.normalize(points)
    assert np.array_equal(points, before)


@pytest.mark.parametrize(
    "call, error, text",
    [
        (lambda: vorn.normalize(np.zeros((3, 3))), ValueError, "shape (N, 4) and dtype float64, got shape (3, 3)"),
        (lambda: vorn.normalize(np.zeros(4)), ValueError, "got shape (4,)"),
        (lambda: vorn.normalize(np.array([["a", "b", "c", "d"]])), TypeError, "got dtype <U1"),
        (lambda: vorn.normalize(np.zeros((2, 4), dtype=complex)), TypeError, "got dtype complex128"),
        (lambda: vorn.fs_distance(np.zeros((2, 4)), np.zeros((3, 4))), ValueError, "same number of rows, got 2 and 3"),
        (lambda: vorn.PGL4(np.zeros((3, 4))), ValueError, "shape (4, 4)"),
        (lambda: vorn.PGL4()[4, 0], IndexError, "0 to 3"),
        (lambda: vorn.apply_to_all(vorn.PGL4(), np.zeros((2, 4)), out=np.zeros((2, 4), dtype=np.float32)), ValueError,
         "out: expected a writable C-contiguous float64 array of shape (2, 4)"),
    ],
)
def test_bad_input_is_refused_with_a_message_naming_what_was_expected(call, error, text):
    with pytest.raises(error) as caught:
        call()
    assert text in str(caught.value)


def test_cpp_allocation_failure_is_a_memory_error():
    start = vorn.GeodesicState([1, 0, 0, 0], [0, 1, 0, 0])
    with pytest.raises(MemoryError):
        vorn.rk4_integrate_free(0.0, 1.0, start, 4294967295)
    trajectory = vorn.rk4_integrate_free(0.0, 1.0, start, 3)
    assert trajectory.shape == (4, 2, 4) and trajectory.flags.owndata


HUGE = np.broadcast_to(np.array([0.0, 0.0, 0.0, 1.0]), (2**50, 4))  # 32 PiB once copied


@pytest.mark.parametrize(
    "call",
    [
        lambda: vorn.normalize(HUGE),
        lambda: vorn.fs_distance(HUGE, HUGE),
        lambda: vorn.World().add_bodies(HUGE, HUGE, np.broadcast_to(1.0, (2**50,))),
        lambda: vorn.apply_to_all(vorn.PGL4(), HUGE),
    ],
    ids=["normalize", "fs_distance", "add_bodies", "apply_to_all"],
)
def test_an_allocation_that_fails_is_a_memory_error(call):
    with pytest.raises(MemoryError):
        call()


def test_values_compare_print_and_pickle():
    v = vorn.HomVec4(0.1, -2.0, 3e-300, float("inf"))
    assert eval(repr(v), {"HomVec4": vorn.HomVec4, "inf": float("inf")}) == v
    assert pickle.loads(pickle.dumps(v)) == v
    m = vorn.pgl_rotate_z(0.25)
    assert pickle.loads(pickle.dumps(m)) == m
    assert np.array_equal(np.asarray(m), m.to_numpy()) and vorn.PGL4(np.asarray(m)) == m
    assert vorn.HomVec4(float("nan"), 0, 0, 0) != vorn.HomVec4(float("nan"), 0, 0, 0)


def releases_the_lock(call, times=20):
    """Whether another thread runs while `call` is inside C++: with a huge switch interval the
    calling thread keeps the lock unless the call gives it up."""
    done = []

    def worker():
        for _ in range(times):
            call()
            done.append(1)

    old = sys.getswitchinterval()
    sys.setswitchinterval(100.0)
    try:
        thread = threading.Thread(target=worker)
        thread.start()
        seen = len(done)  # runs as soon as the worker's first call releases the lock
        thread.join()
    finally:
        sys.setswitchinterval(old)
    return seen < times


def test_batch_calls_and_world_steps_release_the_interpreter_lock():
    points = np.random.default_rng(3).normal(size=(200_000, 4))
    assert releases_the_lock(lambda: vorn.normalize(points))
    world = vorn.World(G=1.0, mutual_gravity=True)
    world.add_bodies(vorn.normalize(points[:400]), np.zeros((400, 4)), np.ones(400))
    assert releases_the_lock(lambda: world.step(0.001))


def test_every_public_name_has_a_type_stub():
    import pathlib
    import re

    stub = (pathlib.Path(vorn.__file__).parent / "__init__.pyi").read_text()
    declared = {a or b for a, b in re.findall(r"^(?:class|def) (\w+)|^(\w+):", stub, re.M)}
    assert sorted(set(vorn.__all__) - declared) == []


VALUES = {
    "VornBody": lambda: vorn.VornBody(position=vorn.HomVec4(0.1, -2.0, 3e-300, 1.0),
                                      velocity=vorn.HomVec4(0.0, 1.0, -0.0, float("inf")), mass=2.5,
                                      restitution=0.25, friction=0.75, force_accum=vorn.HomVec4(1, 2, 3, 4),
                                      body_type=vorn.VornBody.BodyType.kinematic, active=False),
    "Rotation": lambda: vorn.Rotation(vorn.HomVec4(0.6, 0.0, 0.0, 0.8), vorn.HomVec4(0.0, -0.0, 1.0, 0.0)),
    "GeodesicState": lambda: vorn.GeodesicState([1.0, 0.0, 0.0, 0.0], [0.0, 0.1, float("-inf"), 0.0]),
    "Bivector": lambda: vorn.Bivector(xy=1.5, zw=-2e-310),
    "Attractor": lambda: vorn.Attractor((0.0, 0.6, 0.8, 1e-17), 7.0),
    "GravitySolver": lambda: vorn.GravitySolver("tree", theta=0.1 + 0.2, order=1),
    "HomVec4": lambda: vorn.HomVec4(0.1, -2.0, 3e-300, float("inf")),
    "PGL4": lambda: vorn.pgl_rotate_z(0.25),
}


@pytest.mark.parametrize("make", VALUES.values(), ids=VALUES.keys())
def test_value_types_print_as_code_compare_pickle_and_copy(make):
    value = make()
    namespace = {}
    exec("from vorn import *", namespace)
    assert eval(repr(value), namespace) == value == make()
    copies = [pickle.loads(pickle.dumps(value)), copy.copy(value), copy.deepcopy(value)]
    for copied in copies:
        assert copied is not value and copied == value and repr(copied) == repr(value)


def test_every_field_of_a_body_counts_in_its_equality():
    body = VALUES["VornBody"]()
    changes = {"position": vorn.HomVec4(1, 0, 0, 0), "velocity": vorn.HomVec4(), "mass": 1.0,
               "restitution": 0.5, "friction": 0.3, "force_accum": vorn.HomVec4(), "active": True,
               "body_type": vorn.VornBody.BodyType.dynamic}
    for field, other in changes.items():
        changed = copy.copy(body)
        setattr(changed, field, other)
        assert changed != body, field


def summaries(name, doc):
    """The text under each signature of a pybind11 docstring, one for each overload."""
    doc = re.sub(r"^.*\nOverloaded function\.\n", "", doc or "", flags=re.S)
    signature = re.compile(r"^(?:\d+\. )?" + re.escape(name) + r"\(.*$", re.M)
    parts = signature.split(doc)
    return [part.strip() for part in parts[1:]] if len(parts) > 1 else [doc.strip()]


def test_every_public_function_method_and_property_has_a_docstring():
    missing = []
    for name in vorn.__all__:
        item = getattr(vorn, name)
        if not isinstance(item, type) and not callable(item):
            continue
        if not all(summaries(name, item.__doc__)):
            missing.append(name)
        if not isinstance(item, type):
            continue
        if hasattr(item, "__members__"):
            continue  # an enum: its methods are pybind11's
        for attr, member in vars(item).items():
            if attr.startswith("_") and attr != "__init__":
                continue
            if isinstance(member, type) or callable(member) or isinstance(member, property):
                doc = member.__doc__ if not isinstance(member, staticmethod) else member.__func__.__doc__
                if not all(summaries(attr, doc)):
                    missing.append(f"{name}.{attr}")
    assert missing == []
