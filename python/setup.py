"""The extension is built by the project's CMake build (the release preset in build/), which
already knows the library's sources, include folders and warnings; this only hands its output to
setuptools. Needs Debian's interpreter: the module is built for /usr/bin/python3."""

import os
import shutil
import subprocess
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build"
# setuptools' own work files, kept out of the source tree.
WORK = BUILD / "python-setuptools"
WORK.mkdir(parents=True, exist_ok=True)


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        if not (BUILD / "CMakeCache.txt").exists():
            subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True)
        jobs = os.environ.get("JOBS", str(os.cpu_count() or 2))
        subprocess.run(
            ["cmake", "--build", str(BUILD), "--target", "_tarnwick_dat", "-j", jobs], check=True
        )
        name = Path(self.get_ext_filename(ext.name)).name
        built = BUILD / "python" / "tarnwick_dat" / name
        if not built.exists():
            raise RuntimeError(
                f"{built} was not built: the module is built for /usr/bin/python3, "
                "so install it with that interpreter or a virtual environment made from it"
            )
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    ext_modules=[Extension("tarnwick_dat._tarnwick_dat", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(WORK)}, "egg_info": {"egg_base": str(WORK)}},
)
