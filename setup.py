"""Builds the kurvex Python module with this tree's CMake build: the compiled
_kurvex target alone, put into the wheel beside the package's Python files.

    python3 -m venv --system-site-packages VENV
    VENV/bin/pip install --no-build-isolation .

Extra CMake options go in $CMAKE_ARGS (for example -DKURVEX_GUI=OFF for a
module without kurvex.render); $CMAKE_BUILD_PARALLEL_LEVEL sets the jobs.
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The version of project(Kurvex VERSION x.y.z) in the top CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text()
    found = re.search(r"project\(\s*Kurvex\s+VERSION\s+([0-9][0-9.]*)", text)
    if not found:
        sys.exit("setup.py: no project(Kurvex VERSION ...) in CMakeLists.txt")
    return found.group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if shutil.which("cmake") is None:
            sys.exit("setup.py: building kurvex needs cmake (Debian package cmake); "
                     "./scripts/setup installs it with the rest")
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        # Kept between builds, so that a second install builds only what changed.
        build = Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DKURVEX_PYTHON=ON", "-DKURVEX_BENCH=OFF", "-DKURVEX_TESTS=OFF",
            "-DKURVEX_FUZZ=OFF", "-DBUILD_TESTING=OFF",
            # For the interpreter that installs, a virtual environment's too.
            f"-DPython3_EXECUTABLE={sys.executable}",
        ] + os.environ.get("CMAKE_ARGS", "").split()
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build), "--target", "_kurvex", "-j", jobs],
                       check=True)
        built = sorted((build / "python" / "kurvex").glob("_kurvex*.so"))
        if not built:
            sys.exit(f"setup.py: the build made no _kurvex module in {build}/python/kurvex")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[-1], target)


setup(
    version=project_version(),
    packages=["kurvex"],
    package_dir={"kurvex": "src/python/kurvex"},
    package_data={"kurvex": ["*.pyi", "py.typed"]},
    ext_modules=[CMakeExtension("kurvex._kurvex")],
    cmdclass={"build_ext": CMakeBuild},
    # Beside the build/ folder of CMake, not inside it.
    options={"build": {"build_base": "build-python"}},
    zip_safe=False,
)
