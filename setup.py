"""Builds the module `velmora` with CMake for the Python running this (see pyproject.toml)."""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    """Configures the tree with only the libraries and the module, builds the module and takes it."""

    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DVELMORA_BUILD_APP=OFF", "-DVELMORA_BUILD_TESTS=OFF", "-DVELMORA_BUILD_BENCH=OFF",
                     f"-DPython_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "velmora_python"], check=True)
        built = next((build / "python").glob("velmora*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        shutil.copyfile(SOURCE / "python" / "velmora.pyi", target.parent / "velmora.pyi")


version = re.search(r"project\(Velmora VERSION ([0-9.]+)", (SOURCE / "CMakeLists.txt").read_text()).group(1)
setup(
    version=version,
    ext_modules=[Extension("velmora", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Apart from the CMake build folders in build/.
    options={"build": {"build_base": "build/python-wheel"}, "egg_info": {"egg_base": "build/python-wheel"}},
)
