"""Builds the extension vorn._vorn with CMake for the interpreter running the backend.

The build directory is build-pip/<tag> in the source tree (ignored by git), so a second
`pip install .` only relinks what changed; where the tree is read-only, a temporary directory.
Each run configures afresh (the interpreter path changes from one venv to the next) and builds
only the target vorn_python: Release, no tests, examples or self-test, ccache when present.
"""

import contextlib
import os
import shutil
import subprocess
import sys
import sysconfig
import tempfile

from .project import SOURCE_DIR, BuildError

EXTENSION_SUFFIX = sysconfig.get_config_var("EXT_SUFFIX") or ".so"


def _numpy_include_dir():
    """NumPy's C headers, as the interpreter sees them outside pip's build isolation.

    pip hides the system site-packages from the backend (requires = [] installs nothing), but
    the extension is built against the NumPy it will import at run time: the one of the target
    environment, which `-I` (ignore PYTHONPATH and the user site) shows.
    """
    code = "import numpy; print(numpy.get_include())"
    result = subprocess.run([sys.executable, "-I", "-c", code], capture_output=True, text=True)
    include_dir = result.stdout.strip()
    if result.returncode != 0 or not os.path.isdir(include_dir):
        raise BuildError(
            f"NumPy is not importable by {sys.executable}; install python3-numpy and create the "
            "venv with --system-site-packages (python3 -m venv --system-site-packages DIR)"
        )
    return include_dir


def _run(step, command):
    print("+ " + " ".join(command), file=sys.stderr, flush=True)
    try:
        returncode = subprocess.run(command, stdout=sys.stderr).returncode
    except FileNotFoundError:
        raise BuildError(f"{command[0]} not found on PATH; install cmake (apt-get install cmake)")
    if returncode != 0:
        raise BuildError(f"CMake {step} failed (exit status {returncode}); its output above says why")


def _tag_dir_name():
    tag = sys.implementation.cache_tag or sys.implementation.name
    return f"{tag}-{sysconfig.get_platform()}".replace("/", "_")


@contextlib.contextmanager
def build_dir():
    """The directory to build in: build-pip/<tag> when writable, else a temporary one."""
    path = SOURCE_DIR / "build-pip" / _tag_dir_name()
    try:
        path.mkdir(parents=True, exist_ok=True)
    except OSError:
        with tempfile.TemporaryDirectory(prefix="vorn-build-") as temporary:
            yield temporary
        return
    yield str(path)


def build_extension(binary_dir):
    """Configures and builds vorn_python in binary_dir; returns the package directory there,
    which holds the extension _vorn<EXT_SUFFIX>."""
    cmake = shutil.which("cmake")
    if cmake is None:
        raise BuildError("cmake not found on PATH; install cmake (apt-get install cmake)")
    configure = [
        cmake, "--fresh", "-S", str(SOURCE_DIR), "-B", binary_dir,
        "-DCMAKE_BUILD_TYPE=Release",
        "-DVORN_BUILD_PYTHON=ON",
        "-DVORN_BUILD_PYTHON_TESTS=OFF",
        "-DVORN_BUILD_TESTS=OFF",
        "-DVORN_BUILD_SELFTEST=OFF",
        "-DVORN_BUILD_EXAMPLES=OFF",
        "-DVORN_BUILD_BENCHMARKS=OFF",
        f"-DPython3_EXECUTABLE={sys.executable}",
        f"-DPython3_NumPy_INCLUDE_DIR={_numpy_include_dir()}",
    ]
    if shutil.which("ninja"):
        configure.append("-GNinja")
    if shutil.which("ccache"):
        configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    _run("configure", configure)
    _run("build", [cmake, "--build", binary_dir, "--target", "vorn_python",
                   "--parallel", str(os.cpu_count() or 1)])
    package_dir = os.path.join(binary_dir, "python", "vorn")
    if not os.path.isfile(os.path.join(package_dir, "_vorn" + EXTENSION_SUFFIX)):
        raise BuildError(f"the build made no _vorn{EXTENSION_SUFFIX} in {package_dir}")
    return package_dir
