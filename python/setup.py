"""Packs the built lotkavolterra (its compiled _core included) for pip.

CMake copies this file beside the package it builds, in build/python; run pip
there, e.g. ``pip install --no-build-isolation build/python``.  Nothing is
compiled here: the extension is the one the project's build made.
"""

import glob
import os

from setuptools import setup
from setuptools.dist import Distribution


class BinaryDistribution(Distribution):
    """A distribution whose wheel is tagged for this platform and Python."""

    def has_ext_modules(self):
        return True


here = os.path.dirname(os.path.abspath(__file__))
if not glob.glob(os.path.join(here, "lotkavolterra", "_core*.so")):
    raise SystemExit("lotkavolterra/_core is not built: run scripts/build first, "
                     "then install build/python")

setup(
    name="lotkavolterra",
    version="0.1.0",
    description="The generalised Lotka-Volterra competition model: runs and sweeps",
    packages=["lotkavolterra"],
    package_data={"lotkavolterra": ["_core*.so", "*.pyi", "py.typed"]},
    python_requires=">=3.11",
    install_requires=["numpy", "pandas"],
    distclass=BinaryDistribution,
    zip_safe=False,
)
