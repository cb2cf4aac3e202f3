"""The files of an editable install: `import vorn` loads the package's Python files from the
source tree and the extension from the build directory, both left where they are.

Edits to python/vorn/*.py take effect at the next import; after a change to the C++ sources,
`pip install -e .` again rebuilds the extension in place.
"""

FINDER_MODULE = "__editable___vorn_finder"

_FINDER_SOURCE = '''\
"""Finds the editable install of vorn: Python files from {source!r}, extension from {built!r}."""

import importlib.util
import sys

SOURCE_DIR = {source!r}
BUILT_DIR = {built!r}


class VornEditableFinder:
    @classmethod
    def find_spec(cls, fullname, path=None, target=None):
        if fullname != "vorn":
            return None
        return importlib.util.spec_from_file_location(
            "vorn", SOURCE_DIR + "/__init__.py", submodule_search_locations=[SOURCE_DIR, BUILT_DIR])


def install():
    if VornEditableFinder not in sys.meta_path:
        sys.meta_path.append(VornEditableFinder)
'''


def editable_files(source_package_dir, built_package_dir, dist_stem):
    """{archive path: bytes} of the editable wheel: a .pth file and the finder it imports."""
    finder = _FINDER_SOURCE.format(source=str(source_package_dir), built=str(built_package_dir))
    pth = f"import {FINDER_MODULE}; {FINDER_MODULE}.install()\n"
    return {
        f"__editable__.{dist_stem}.pth": pth.encode(),
        f"{FINDER_MODULE}.py": finder.encode(),
    }
