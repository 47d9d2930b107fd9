"""The wheel: pure Python from the source tree, or, built by build-wheel.sh
with libVqhwLib.so.0 inside the package, tagged for the platform that
VQHW_WHEEL_PLATFORM names (py3-none-PLATFORM: ctypes needs no Python ABI)."""

import os

from setuptools import setup
from setuptools.dist import Distribution

platform = os.environ.get("VQHW_WHEEL_PLATFORM")
options = {}
if platform:
    from wheel.bdist_wheel import bdist_wheel

    class LibraryDistribution(Distribution):
        def has_ext_modules(self) -> bool:
            return True  # the shared library: installed as platform code

    class PlatformWheel(bdist_wheel):  # type: ignore[misc]
        def get_tag(self) -> "tuple[str, str, str]":
            return "py3", "none", platform

    options = {"distclass": LibraryDistribution, "cmdclass": {"bdist_wheel": PlatformWheel}}

setup(**options)
