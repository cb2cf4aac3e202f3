"""What the package is: its source tree, name, version and summary.

The version and the summary are read from the top-level CMakeLists.txt (`project(vorn VERSION
... DESCRIPTION ...)`), the one place they are written; nothing here depends on .git, so a copy
of the tree or an unpacked source archive builds the same package.
"""

import pathlib
import re

NAME = "vorn"
SOURCE_DIR = pathlib.Path(__file__).resolve().parents[3]
PACKAGE_SOURCE_DIR = SOURCE_DIR / "python" / NAME


class BuildError(SystemExit):
    """A failure the user can act on; pip prints the message and no traceback."""

    def __init__(self, message):
        super().__init__(f"vorn build backend: {message}")


def _project_call(text):
    match = re.search(r"\bproject\s*\(\s*vorn\b([^)]*)\)", text, re.IGNORECASE)
    if not match:
        raise BuildError("CMakeLists.txt has no project(vorn ...) call")
    return match.group(1)


def read_metadata():
    """The name, version and summary as a dict, from CMakeLists.txt."""
    arguments = _project_call((SOURCE_DIR / "CMakeLists.txt").read_text(encoding="utf-8"))
    version = re.search(r"\bVERSION\s+([0-9]+(?:\.[0-9]+)*)", arguments)
    if not version:
        raise BuildError("project(vorn ...) in CMakeLists.txt names no VERSION")
    description = re.search(r'\bDESCRIPTION\s+"([^"]*)"', arguments)
    return {
        "name": NAME,
        "version": version.group(1),
        "summary": description.group(1) if description else "",
    }


def metadata_text(metadata):
    """The core metadata file (METADATA in a wheel, PKG-INFO in a source archive).

    NumPy is needed at run time but not declared: it comes from Debian (python3-numpy, seen by
    a venv made with --system-site-packages), and with no package index a declared dependency
    would make `pip wheel .` look for a NumPy wheel to download.
    """
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {metadata['name']}",
        f"Version: {metadata['version']}",
        f"Summary: {metadata['summary']}",
        "Requires-Python: >=3.9",
    ]
    return "\n".join(lines) + "\n"


def dist_name(metadata):
    """The name-version stem of archive and .dist-info names."""
    return f"{metadata['name']}-{metadata['version']}"
