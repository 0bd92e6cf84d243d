"""The README's commands run as written, in a fresh directory laid out like a built clone, with a
`boxwright` command on PATH as pip installs it. The set-up block (`make demo`, `make test`) is
what CI runs itself, the pip block is the wheel check of tests/package, and the round trip's
full LAMMPS runs are run shortened on docs/coordinates.md."""

import os
import pathlib
import re
import subprocess
import sys

import boxwright
from support import SOURCE_DIR, TempDirTestCase

BLOCK = re.compile(r"^```(\w+)\n(.*?)^```$", re.MULTILINE | re.DOTALL)


def readme_blocks(language):
    text = (SOURCE_DIR / "README.md").read_text(encoding="utf-8")
    return [body for lang, body in BLOCK.findall(text) if lang == language]


class ReadmeTest(TempDirTestCase):
    def setUp(self):
        super().setUp()
        for name in ("examples", "scripts"):
            (self.tmp / name).symlink_to(SOURCE_DIR / name)
        (self.tmp / "build").mkdir()
        (self.tmp / "build" / "python").symlink_to(pathlib.Path(boxwright.__file__).parent.parent)
        bin_dir = self.tmp / "bin"
        bin_dir.mkdir()
        command = f'#!/bin/sh\nexec "{sys.executable}" -m boxwright "$@"\n'
        (bin_dir / "boxwright").write_text(command)
        (bin_dir / "boxwright").chmod(0o755)
        self.env = {**os.environ, "PATH": f"{bin_dir}:{os.environ['PATH']}"}

    def run_in_clone(self, command):
        done = subprocess.run(command, cwd=self.tmp, capture_output=True, text=True, timeout=300,
                              env=self.env)
        self.assertEqual(done.returncode, 0, f"{command}\n{done.stdout}\n{done.stderr}")
        return done.stdout

    def assert_built_water_twice(self, stdout):
        self.assertEqual(stdout.count("atoms: 1500 (2 types)"), 2, stdout)
        self.assertIn("pair_style lj/cut/tip4p/long",
                      (self.tmp / "out/water/forcefield.lmp").read_text())
        self.assertIn("pair_style lj/cut/coul/long",
                      (self.tmp / "out/water-coul/forcefield.lmp").read_text())

    def test_shell_commands(self):
        by_name, water = [b for b in readme_blocks("sh") if "boxwright pack" in b]
        run = ["bash", "-euo", "pipefail", "-c"]
        self.assertIn("atoms: 1700 (6 types)", self.run_in_clone([*run, by_name]))
        self.assert_built_water_twice(self.run_in_clone([*run, water]))

    def test_python_example(self):
        (block,) = readme_blocks("python")
        self.assert_built_water_twice(self.run_in_clone([sys.executable, "-c", block]))

    # Both ways the README gives to make a BuildWarning an exception, run as written, with the
    # package found through the script's own folder, as in a clone.
    def test_warnings_made_errors(self):
        text = (SOURCE_DIR / "README.md").read_text(encoding="utf-8")
        (option,) = re.findall(r"`python (-W \S+) build\.py`", text)
        (simple_filter,) = re.findall(r"`(warnings\.simplefilter\(.*?\))` in\s+the script", text)
        (self.tmp / "boxwright").symlink_to(pathlib.Path(boxwright.__file__).parent)
        # A density given in g/cm³: a warning, not a failure.
        build = ("import warnings, boxwright\nfrom boxwright import pack\n{}\n"
                 "pack.packmol('examples/co2.json', [1], 1.0,\n"
                 "             force_field='examples/force_field.json', out_dir='out/warned')\n")
        for name, script, options in (("-W", build.format(""), option.split()),
                                      ("simplefilter", build.format(simple_filter), [])):
            with self.subTest(name):
                (self.tmp / "build.py").write_text(script)
                done = subprocess.run([sys.executable, *options, "build.py"], cwd=self.tmp,
                                      capture_output=True, text=True, timeout=300,
                                      env={**os.environ, "PYTHONPATH": ""})
                self.assertEqual(done.returncode, 1, done.stderr)
                self.assertRegex(done.stderr, r"\nboxwright\.errors\.BuildWarning: ")
