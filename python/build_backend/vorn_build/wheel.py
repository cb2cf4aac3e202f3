"""Writes a wheel by hand: the files, .dist-info/{METADATA,WHEEL,RECORD}, the interpreter's tag.

The archive is written under a temporary name in the target directory and renamed only once
complete, so a failed build leaves no partial wheel behind.
"""

import base64
import hashlib
import os
import sys
import sysconfig
import time
import zipfile

from .project import NAME, dist_name, metadata_text

# Timestamps in the archive: SOURCE_DATE_EPOCH when set, else the earliest a zip can hold.
_EPOCH = (1980, 1, 1, 0, 0, 0)


def wheel_tag():
    """python-abi-platform of the running interpreter, computed as the installer computes it."""
    name = sys.implementation.name
    version = f"{sys.version_info.major}{sys.version_info.minor}"
    if name == "cpython":
        interpreter = f"cp{version}"
        abi = interpreter + ("d" if hasattr(sys, "gettotalrefcount") else "")
    else:
        interpreter = {"pypy": "pp"}.get(name, name) + version
        soabi = sysconfig.get_config_var("SOABI") or "none"
        abi = soabi.replace(".", "_").replace("-", "_")
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{interpreter}-{abi}-{platform}"


def wheel_text(tag):
    return f"Wheel-Version: 1.0\nGenerator: vorn_build\nRoot-Is-Purelib: false\nTag: {tag}\n"


def write_dist_info(directory, metadata, tag):
    """Writes <name>-<version>.dist-info/{METADATA,WHEEL} into directory; returns its name."""
    dist_info = dist_name(metadata) + ".dist-info"
    os.makedirs(os.path.join(directory, dist_info), exist_ok=True)
    for file_name, text in (("METADATA", metadata_text(metadata)), ("WHEEL", wheel_text(tag))):
        with open(os.path.join(directory, dist_info, file_name), "w", encoding="utf-8") as out:
            out.write(text)
    return dist_info


def _timestamp():
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch and epoch.isdigit() and int(epoch) >= 315532800:
        return time.gmtime(int(epoch))[:6]
    return _EPOCH


def _record_hash(data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"sha256={digest}"


def write_wheel(wheel_directory, metadata, tag, members):
    """Writes the wheel of `members` ({archive path: bytes}) plus its .dist-info into
    wheel_directory; returns the wheel's file name."""
    dist_info = dist_name(metadata) + ".dist-info"
    files = dict(sorted(members.items()))
    files[f"{dist_info}/METADATA"] = metadata_text(metadata).encode()
    files[f"{dist_info}/WHEEL"] = wheel_text(tag).encode()
    record = [f"{path},{_record_hash(data)},{len(data)}" for path, data in files.items()]
    record.append(f"{dist_info}/RECORD,,")
    files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()

    wheel_name = f"{dist_name(metadata)}-{tag}.whl"
    final_path = os.path.join(wheel_directory, wheel_name)
    partial_path = os.path.join(wheel_directory, f".{wheel_name}.partial")
    timestamp = _timestamp()
    try:
        with zipfile.ZipFile(partial_path, "w", compression=zipfile.ZIP_DEFLATED) as archive:
            for path, data in files.items():
                info = zipfile.ZipInfo(path, date_time=timestamp)
                mode = 0o755 if path.endswith(".so") else 0o644
                info.external_attr = (0o100000 | mode) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, data)
        os.replace(partial_path, final_path)
    except BaseException:
        if os.path.exists(partial_path):
            os.remove(partial_path)
        raise
    return wheel_name


def package_files(source_package_dir, built_package_dir, extension_name):
    """{archive path: bytes} of the package: every file of the source package directory
    (subdirectories too, no bytecode caches) and the extension from the build."""
    members = {}
    for root, dirs, names in os.walk(source_package_dir):
        dirs[:] = sorted(d for d in dirs if d != "__pycache__")
        for name in sorted(names):
            if name.endswith((".pyc", ".pyo", ".swp", "~")) or name.startswith("_vorn"):
                continue
            path = os.path.join(root, name)
            relative = os.path.relpath(path, source_package_dir).replace(os.sep, "/")
            with open(path, "rb") as source:
                members[f"{NAME}/{relative}"] = source.read()
    with open(os.path.join(built_package_dir, extension_name), "rb") as extension:
        members[f"{NAME}/{extension_name}"] = extension.read()
    return members
