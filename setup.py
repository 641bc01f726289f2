# The extension module `phylo` for pip (see pyproject.toml): the sources of the libraries phylo
# and textutils and the binding, compiled as C++20. The CMake build makes the same module.
import glob
import os
import subprocess

import pybind11
from setuptools import Extension, setup

here = os.path.dirname(os.path.abspath(__file__))


def sources(pattern):
    return sorted(os.path.relpath(p, here) for p in glob.glob(os.path.join(here, pattern), recursive=True))


def eigen_include():
    # Eigen is header-only; pkg-config knows where Debian's libeigen3-dev put it.
    try:
        flags = subprocess.run(["pkg-config", "--cflags-only-I", "eigen3"], check=True,
                               capture_output=True, text=True).stdout.split()
        return [f[2:] for f in flags if f.startswith("-I")]
    except (OSError, subprocess.CalledProcessError):
        return ["/usr/include/eigen3"]


module = Extension(
    "phylo",
    sources=["python/phylo_module.cpp", "python/permutation_tests.cpp"] + sources("phylo/**/*.cpp") + sources("textutils/*.cpp"),
    include_dirs=[".", pybind11.get_include()] + eigen_include(),
    language="c++",
    extra_compile_args=["-std=c++20", "-O2", "-fvisibility=hidden"],
)

setup(ext_modules=[module])
