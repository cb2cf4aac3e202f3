"""The in-tree build backend of the vorn package (PEP 517, PEP 660), needing nothing from a
package index: CMake builds the extension, the wheel is packed here.

The hooks pip calls: get_requires_for_build_{wheel,sdist,editable} (nothing),
prepare_metadata_for_build_{wheel,editable}, build_wheel, build_sdist, build_editable.
"""

import os

from . import cmake_build, editable, project, sdist, wheel

__all__ = [
    "get_requires_for_build_wheel",
    "get_requires_for_build_sdist",
    "get_requires_for_build_editable",
    "prepare_metadata_for_build_wheel",
    "prepare_metadata_for_build_editable",
    "build_wheel",
    "build_sdist",
    "build_editable",
]


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    return wheel.write_dist_info(metadata_directory, project.read_metadata(), wheel.wheel_tag())


def prepare_metadata_for_build_editable(metadata_directory, config_settings=None):
    return prepare_metadata_for_build_wheel(metadata_directory, config_settings)


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    metadata = project.read_metadata()
    extension = "_vorn" + cmake_build.EXTENSION_SUFFIX
    with cmake_build.build_dir() as binary_dir:
        built_package_dir = cmake_build.build_extension(binary_dir)
        members = wheel.package_files(project.PACKAGE_SOURCE_DIR, built_package_dir, extension)
    return wheel.write_wheel(wheel_directory, metadata, wheel.wheel_tag(), members)


def build_sdist(sdist_directory, config_settings=None):
    return sdist.write_sdist(sdist_directory, project.read_metadata())


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    metadata = project.read_metadata()
    with cmake_build.build_dir() as binary_dir:
        if not binary_dir.startswith(str(project.SOURCE_DIR)):
            raise project.BuildError(
                f"an editable install needs a build directory that stays: {project.SOURCE_DIR} "
                "is not writable")
        built_package_dir = cmake_build.build_extension(binary_dir)
    members = editable.editable_files(
        project.PACKAGE_SOURCE_DIR, os.path.abspath(built_package_dir), project.dist_name(metadata))
    return wheel.write_wheel(wheel_directory, metadata, wheel.wheel_tag(), members)
