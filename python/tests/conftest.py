"""Shared fixtures: the C++ battery of inputs and its golden results, read from the source tree."""

import os
import pathlib
import struct
from collections import defaultdict

import numpy as np
import pytest

SOURCE_DIR = pathlib.Path(os.environ.get("VORN_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
BITEXACT_DIR = SOURCE_DIR / "tests" / "bitexact"


def from_hex(text):
    return struct.unpack("<d", struct.pack("<Q", int(text, 16)))[0]


def hex_of(value):
    """A double as the golden file writes it: 16 hex digits of its bits, or 'nan'."""
    value = float(value)
    if value != value:
        return "nan"
    return format(struct.unpack("<Q", struct.pack("<d", value))[0], "016x")


@pytest.fixture(scope="session")
def battery():
    """The battery's inputs by kind: scalars, vectors, pairs, points with tangents, matrices."""
    kinds = defaultdict(list)
    for line in (BITEXACT_DIR / "inputs.txt").read_text().splitlines():
        kind, _index, *words = line.split()
        kinds[kind].append([from_hex(w) for w in words])
    return {
        "scalars": np.array([row[0] for row in kinds["scalar"]]),
        "vectors": np.array(kinds["vector"]),
        "pairs": np.array(kinds["pair"]).reshape(-1, 2, 4),
        "points": np.array(kinds["point"]).reshape(-1, 2, 4),
        "matrices": np.array(kinds["matrix"]),
    }


@pytest.fixture(scope="session")
def golden():
    """The golden lines by (operation, index), each a list of the lines' words after the index."""
    lines = defaultdict(list)
    for line in (BITEXACT_DIR / "golden.txt").read_text().splitlines():
        op, index, *words = line.split()
        lines[(op, int(index))].append(words)
    return lines
