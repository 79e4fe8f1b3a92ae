"""setuptools' build backend, running python/setup.py instead of a setup.py at the root."""
import os

from setuptools import build_meta


class _Backend(build_meta._BuildMetaBackend):
    def run_setup(self, setup_script="setup.py"):
        super().run_setup(os.path.join("python", "setup.py"))


_backend = _Backend()
get_requires_for_build_wheel = _backend.get_requires_for_build_wheel
get_requires_for_build_sdist = _backend.get_requires_for_build_sdist
prepare_metadata_for_build_wheel = _backend.prepare_metadata_for_build_wheel
build_wheel = _backend.build_wheel
build_sdist = _backend.build_sdist
