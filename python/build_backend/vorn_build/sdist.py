"""Writes the source archive: the project's files under <name>-<version>/, with PKG-INFO.

In a git checkout the files are those git knows (tracked, or new and not ignored); elsewhere (an
unpacked archive, a copy) every file but build directories, bytecode and editor files.
"""

import io
import os
import subprocess
import tarfile

from .project import SOURCE_DIR, dist_name, metadata_text

_SKIPPED_TOP_DIRS = (".git", "out", ".cache")
_SKIPPED_SUFFIXES = (".pyc", ".pyo", ".swp", "~")


def _git_files():
    if not (SOURCE_DIR / ".git").exists():
        return None
    try:
        result = subprocess.run(
            ["git", "-C", str(SOURCE_DIR), "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
            capture_output=True, check=True)
    except (OSError, subprocess.CalledProcessError):
        return None
    names = [name for name in result.stdout.decode().split("\0") if name]
    return sorted(name for name in set(names) if os.path.lexists(SOURCE_DIR / name))


def _walked_files():
    files = []
    for root, dirs, names in os.walk(SOURCE_DIR):
        relative_root = os.path.relpath(root, SOURCE_DIR)
        if relative_root == ".":
            dirs[:] = [d for d in dirs if d not in _SKIPPED_TOP_DIRS and not d.startswith("build")]
        dirs[:] = sorted(d for d in dirs if d != "__pycache__")
        for name in sorted(names):
            if name == "PKG-INFO" and relative_root == ".":
                continue
            if not name.endswith(_SKIPPED_SUFFIXES):
                files.append(os.path.normpath(os.path.join(relative_root, name)))
    return files


def write_sdist(sdist_directory, metadata):
    """Writes <name>-<version>.tar.gz into sdist_directory; returns its file name."""
    stem = dist_name(metadata)
    archive_name = stem + ".tar.gz"
    final_path = os.path.join(sdist_directory, archive_name)
    partial_path = os.path.join(sdist_directory, f".{archive_name}.partial")
    files = _git_files()
    if files is None:
        files = _walked_files()

    def owned_by_nobody(info):
        info.uid = info.gid = 0
        info.uname = info.gname = ""
        return info

    try:
        with tarfile.open(partial_path, "w:gz", format=tarfile.PAX_FORMAT) as archive:
            for name in files:
                archive.add(SOURCE_DIR / name, arcname=f"{stem}/{name}", recursive=False,
                            filter=owned_by_nobody)
            pkg_info = metadata_text(metadata).encode()
            info = owned_by_nobody(tarfile.TarInfo(f"{stem}/PKG-INFO"))
            info.size = len(pkg_info)
            info.mode = 0o644
            archive.addfile(info, io.BytesIO(pkg_info))
        os.replace(partial_path, final_path)
    except BaseException:
        if os.path.exists(partial_path):
            os.remove(partial_path)
        raise
    return archive_name
