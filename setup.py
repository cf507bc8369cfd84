"""The build behind `pip install .`: CMake (preset "python") builds the extension for the
interpreter that runs this, and the package staged in its build folder is what gets installed."""

import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
# setuptools' own folders, away from the CMake build folders (build/ is the release preset's).
WORK = "build-pip"


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = ROOT / WORK / "cmake"
        subprocess.run(["cmake", "--preset", "python", "-B", str(build), f"-DTINVOICER_PYTHON_EXECUTABLE={sys.executable}"],
                       cwd=ROOT, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "tinvoicer_python", "-j2"], check=True)
        package = pathlib.Path(self.get_ext_fullpath(ext.name)).parent
        package.mkdir(parents=True, exist_ok=True)
        for staged in (build / "python" / "tinvoicer").iterdir():
            shutil.copy2(staged, package / staged.name)


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(Tinvoicer VERSION ([0-9.]+)", text).group(1)


setup(
    version=project_version(),
    packages=[],
    ext_modules=[Extension("tinvoicer._native", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": WORK}, "egg_info": {"egg_base": WORK}},
    zip_safe=False,
)
