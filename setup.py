"""Builds the Python package geoconv: setuptools drives this repository's CMake
build of the extension geoconv._core (pybind11) and packages it with the
Python files from python/geoconv. Needs only cmake, a C++17 compiler,
pybind11 and NumPy (Debian: cmake g++ pybind11-dev python3-numpy), so

    python3 -m venv --system-site-packages v && v/bin/pip install --no-build-isolation .

installs it offline."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent
# The version is the CMake project's, stated once in CMakeLists.txt.
VERSION = re.search(r"project\(geoconv VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text())[1]


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    """Configures the repository with the Python module on and builds only the
    module and the type stubs it writes from the registry."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build),
                        "-DCMAKE_BUILD_TYPE=Release", "-DGEOCONV_BUILD_PYTHON=ON",
                        "-DGEOCONV_BUILD_TESTS=OFF", "-DGEOCONV_BUILD_DEMO=OFF",
                        "-DGEOCONV_BUILD_TOOLS=OFF", f"-DPython_EXECUTABLE={sys.executable}"],
                       check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "geoconv-python-stubs",
                        "-j", jobs], check=True)
        package = build / "python" / "geoconv"
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(next(package.glob("_core*.so")), target)
        for stub in ("__init__.pyi", "ufuncs.pyi"):
            shutil.copyfile(package / stub, target.parent / stub)


setup(
    name="geoconv",
    version=VERSION,
    description="Exact coordinate conversions on the WGS 84 ellipsoid",
    packages=["geoconv"],
    package_dir={"": "python"},
    package_data={"geoconv": ["py.typed"]},  # the stubs come with the module
    ext_modules=[CMakeExtension("geoconv._core")],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.8",
    install_requires=["numpy"],
    zip_safe=False,
)
