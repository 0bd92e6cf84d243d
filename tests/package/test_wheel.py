"""The package as a user gets it: a wheel of this build tree, installed with pip into a fresh
virtual environment without any package index, run from a directory outside the clone, then
uninstalled without a trace."""

import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import tomllib
import unittest
import zipfile

from boxwright import pack
from support import EXAMPLES, SOURCE_DIR, lattice_coordinates

BUILD_DIR = pathlib.Path(os.environ["BOXWRIGHT_BUILD_DIR"])
VERSION = tomllib.loads((SOURCE_DIR / "pyproject.toml").read_text())["project"]["version"]
TAG = "cp{0}{1}-cp{0}{1}-{2}".format(*sys.version_info[:2],
                                     sysconfig.get_platform().replace("-", "_"))
# The environment's programs see neither the build tree's package nor any pip configuration.
CLEAN_ENV = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME")} | {
    "PIP_CONFIG_FILE": os.devnull, "PIP_DISABLE_PIP_VERSION_CHECK": "1", "PIP_NO_INPUT": "1",
    "PIP_NO_CACHE_DIR": "1"}


def files_under(directory):
    return {p.relative_to(directory).as_posix() for p in directory.rglob("*")}


class WheelTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.tmp = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory(prefix="bw-wheel-")))
        self.env = self.tmp / "env"
        # pip itself stays outside the environment (`pip --python`): a fresh environment then
        # holds nothing but what the wheel brings, and it is made in a fraction of a second.
        self.run_ok(sys.executable, "-m", "venv", "--without-pip", self.env)

    def run_ok(self, *command, cwd=None):
        result = subprocess.run([str(c) for c in command], cwd=cwd or self.tmp, env=CLEAN_ENV,
                                capture_output=True, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, f"{command}:\n{result.stdout}{result.stderr}")
        return result.stdout

    def pip(self, *args):
        return self.run_ok(sys.executable, "-m", "pip", "--python", self.env / "bin" / "python",
                           *args)

    def test_wheel_installs_runs_outside_the_clone_and_uninstalls_cleanly(self):
        before = files_under(self.env)
        wheel = self.build_wheel()
        self.pip("install", "--no-index", wheel)
        self.check_installed_package()
        self.check_from_coords_outside_the_clone()
        self.pip("uninstall", "--yes", "boxwright")
        self.assertEqual(files_under(self.env) ^ before, set())

    def build_wheel(self):
        wheels = self.tmp / "wheels"
        self.pip("wheel", "--no-index", "--no-deps", "--wheel-dir", wheels,
                 "--config-settings", f"build-dir={BUILD_DIR}", SOURCE_DIR)
        wheel = wheels / f"boxwright-{VERSION}-{TAG}.whl"
        self.assertEqual(list(wheels.iterdir()), [wheel])
        suffix = sysconfig.get_config_var("EXT_SUFFIX")
        names = set(zipfile.ZipFile(wheel).namelist())
        package = {n for n in names if n.startswith("boxwright/")}
        package_dir = SOURCE_DIR / "python" / "boxwright"
        sources = {f"boxwright/{p.relative_to(package_dir).as_posix()}"
                   for p in package_dir.rglob("*") if p.is_file() and "__pycache__" not in p.parts}
        self.assertIn("boxwright/models/tip4p2005.force_field.json", sources)
        self.assertEqual(package, sources | {f"boxwright/_native{suffix}",
                                             f"boxwright/_engine{suffix}"})
        self.assertLessEqual({"boxwright/_native.pyi", "boxwright/_engine.pyi",
                              "boxwright/py.typed"}, package)
        dist_info = f"boxwright-{VERSION}.dist-info"
        self.assertEqual(names - package, {f"{dist_info}/{n}" for n in (
            "METADATA", "WHEEL", "RECORD", "entry_points.txt", "licenses/LICENSE")})
        with zipfile.ZipFile(wheel) as archive:
            self.assertIn("License: MIT\n", archive.read(f"{dist_info}/METADATA").decode())
            self.assertEqual(archive.read(f"{dist_info}/licenses/LICENSE"),
                             (SOURCE_DIR / "LICENSE").read_bytes())
        return wheel

    def check_installed_package(self):
        self.assertEqual(self.run_ok(self.env / "bin" / "boxwright", "--version"),
                         f"boxwright {VERSION}\n")
        where = self.run_ok(self.env / "bin" / "python", "-c",
                            "import boxwright, boxwright._engine as e, boxwright._native as n; "
                            "print(boxwright.__version__, n.__file__, e.__file__)")
        version, *modules = where.split()
        self.assertEqual(version, VERSION)
        for module in modules:
            self.assertTrue(pathlib.Path(module).is_relative_to(self.env), module)
        # The bundled models come with it.
        listed = self.run_ok(self.env / "bin" / "boxwright", "models")
        self.assertIn("\ntip4p2005 ", listed)

    def check_from_coords_outside_the_clone(self):
        work = self.tmp / "work"
        work.mkdir()
        for name in ("force_field.json", "co2.json", "methane.json"):
            shutil.copy(EXAMPLES / name, work)
        species = [work / "co2.json", work / "methane.json"]
        coords = lattice_coordinates([(species[0], 1), (species[1], 2)])
        (work / "mix.xyz").write_text(
            f"{len(coords)}\none CO2, two methane\n"
            + "".join(f"X {x} {y} {z}\n" for x, y, z in coords))
        # "X" is no pseudo-atom name, so the names check is off.
        summary = self.run_ok(self.env / "bin" / "boxwright", "from-coords", "--species",
                              "co2.json", "methane.json", "--counts", 1, 2, "--coords", "mix.xyz",
                              "--box-length", 20, "--no-check-names", cwd=work)
        self.assertTrue(summary.startswith("Wrote ./data.lmp\nWrote ./forcefield.lmp\n"), summary)
        # The installed modules build exactly what the build tree's package builds.
        expected = self.tmp / "expected"
        pack.from_coords(species, [1, 2], coords, 20.0, force_field=work / "force_field.json",
                         out_dir=expected)
        for name in ("data.lmp", "forcefield.lmp", "in.lmp"):
            self.assertEqual((work / name).read_text(), (expected / name).read_text(), name)



class SdistTest(unittest.TestCase):
    def test_sdist_holds_the_files_git_would_commit_and_nothing_built(self):
        listed = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"],
                                cwd=SOURCE_DIR, capture_output=True, text=True)
        if listed.returncode != 0:
            self.skipTest("the source tree is not a git checkout")
        sys.path.insert(0, str(SOURCE_DIR / "pep517"))
        import cmake_backend

        with tempfile.TemporaryDirectory(prefix="bw-sdist-") as out:
            name = cmake_backend.build_sdist(out)
            with tarfile.open(pathlib.Path(out, name)) as sdist:
                members = {m.name.split("/", 1)[1] for m in sdist.getmembers()}
        tracked = {f for f in listed.stdout.splitlines() if (SOURCE_DIR / f).is_file()}
        self.assertEqual(members, tracked | {"PKG-INFO"})


if __name__ == "__main__":
    unittest.main()
