"""Builds wavfx._core from the library's sources and the binding (run by wavfx_build)."""
import glob
import os
import re
import subprocess
import sysconfig

import pybind11
from pybind11.setup_helpers import ParallelCompile
from setuptools import Extension, setup

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.chdir(root)
os.makedirs("build-python", exist_ok=True)


def version():
    with open("CMakeLists.txt", encoding="utf-8") as cmake:
        return re.search(r"project\(wavfx VERSION ([0-9.]+)", cmake.read()).group(1)


def pkg_config(*options):
    return subprocess.check_output(["pkg-config", *options, "sndfile"], text=True).split()


def stale(obj, src):
    """Whether `obj` is older than anything its compiler-written dependency list names."""
    try:
        stamp = os.path.getmtime(obj)
        with open(os.path.splitext(obj)[0] + ".d", encoding="utf-8") as deps:
            names = deps.read().replace("\\\n", " ").split(":", 1)[1].split()
    except (OSError, IndexError):
        return True
    return any(not os.path.exists(n) or os.path.getmtime(n) > stamp for n in names)


sources = sorted(glob.glob("src/**/*.cpp", recursive=True)) + sorted(glob.glob("python/src/*.cpp"))
sources.remove("src/formats/without_sndfile.cpp")
headers = glob.glob("src/**/*.h", recursive=True) + glob.glob("include/wavfx/*.h")
headers += glob.glob("python/src/*.h") + ["python/src/exports.map", "CMakeLists.txt"]
warnings = ["-Wall", "-Wextra", "-Wpedantic", "-Wconversion", "-Wshadow"]
system = [pybind11.get_include(), sysconfig.get_paths()["include"]]

core = Extension(
    "wavfx._core",
    sources=sources,
    depends=headers,
    language="c++",
    include_dirs=["include", "src"] + [f[2:] for f in pkg_config("--cflags-only-I")],
    define_macros=[("WAVFX_VERSION", f'"{version()}"'), ("_FILE_OFFSET_BITS", "64")],
    extra_compile_args=["-std=c++20", "-O2", "-g0", "-ffp-contract=off", "-fno-fast-math",
                        "-fvisibility=hidden", "-fvisibility-inlines-hidden", "-MMD", *warnings]
    + [flag for path in system for flag in ("-isystem", path)],
    libraries=[f[2:] for f in pkg_config("--libs-only-l")],
    library_dirs=[f[2:] for f in pkg_config("--libs-only-L")],
    extra_link_args=["-Wl,--version-script=python/src/exports.map"],
)

ParallelCompile("WAVFX_BUILD_JOBS", default=2, needs_recompile=stale).install()
setup(
    version=version(),
    ext_modules=[core],
    options={"build": {"build_base": "build-python/setuptools"},
             "egg_info": {"egg_base": "build-python"}},
)
