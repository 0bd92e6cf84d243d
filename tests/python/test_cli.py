"""`python -m boxwright`: the command line, run as a user runs it, in a child process."""

from __future__ import annotations

import json
import subprocess
import sys
import unittest
from pathlib import Path

import support
from boxwright import pack

EXAMPLES = support.EXAMPLES_DIR
FORCE_FIELD = EXAMPLES / "force_field.json"


def boxwright(*args: object, cwd: Path | None = None) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, "-m", "boxwright", *map(str, args)], cwd=cwd,
                          capture_output=True, text=True, timeout=300)


def reference_atoms(species_file: str) -> list[tuple[str, list[float]]]:
    raw = json.loads((EXAMPLES / species_file).read_text(encoding="utf-8"))
    return [(name, pos) for name, pos in raw["pseudoAtoms"]]


def mixture_coords() -> tuple[list[str], list[float]]:
    """Two CO2 and one butane at their reference shapes, 6 Å apart, three decimals."""
    names, coords = [], []
    for n, species in enumerate(["co2.json", "co2.json", "butane.json"]):
        for name, (x, y, z) in reference_atoms(species):
            names.append(name)
            coords.append([round(x + 3 + 6 * n, 3), round(y + 4, 3), round(z + 5, 3)])
    return names, coords


def write_xyz(path: Path, names: list[str], coords: list[list[float]]) -> None:
    lines = [str(len(names)), "two CO2 and a butane"]
    lines += [f"{n} {x:.3f} {y:.3f} {z:.3f}" for n, (x, y, z) in zip(names, coords)]
    path.write_text("\n".join(lines) + "\n")


def write_pdb(path: Path, names: list[str], coords: list[list[float]]) -> None:
    lines = ["REMARK two CO2 and a butane",
             "CRYST1   30.000   30.000   30.000  90.00  90.00  90.00 P 1           1"]
    for serial, (n, (x, y, z)) in enumerate(zip(names, coords), start=1):
        lines.append(f"HETATM{serial:5d} {n[:4]:<4} MOL A{1:4d}    {x:8.3f}{y:8.3f}{z:8.3f}"
                     "  1.00  0.00")
    lines += ["ENDMDL", "HETATM   99 X    MOL A   2       9.000   9.000   9.000", "END"]
    path.write_text("\n".join(lines) + "\n")


class CommandLine(support.TempDirTestCase):
    def test_help_explains_every_option_with_default_or_unit(self):
        expected = {
            "pack": ["--species", "--counts", "--density", "kg/m³", "--force-field",
                     "default: force_field.json", "--out-dir", "--pair-style",
                     "{tip4p,lj-cut,lj-cut-coul-long,none}", "default: lj-cut", "--explicit-lb",
                     "default: off", "--tolerance", "Å (default: 2.0)"],
            "from-coords": ["--coords", ".xyz", ".pdb", "--box-length", "Å", "--species",
                            "--pair-style"],
        }
        for command, needles in expected.items():
            with self.subTest(command):
                result = boxwright(command, "--help")
                self.assertEqual(result.returncode, 0, result.stderr)
                text = " ".join(result.stdout.split())  # argparse wraps lines
                for needle in needles:
                    self.assertIn(needle, text)

    def test_from_coords_reads_xyz_and_pdb_alike(self):
        names, coords = mixture_coords()
        write_xyz(self.tmp / "mix.xyz", names, coords)
        write_pdb(self.tmp / "mix.pdb", names, coords)
        species = [EXAMPLES / "co2.json", EXAMPLES / "butane.json"]
        pack.from_coords(species, [2, 1], coords, 30.0, force_field=FORCE_FIELD,
                         out_dir=self.tmp / "direct")
        expected = (self.tmp / "direct" / "data.lmp").read_text()
        for coords_file in ("mix.xyz", "mix.pdb"):
            with self.subTest(coords_file):
                out = self.tmp / coords_file.replace(".", "_")
                result = boxwright("from-coords", "--species", *species, "--counts", 2, 1,
                                   "--coords", self.tmp / coords_file, "--box-length", 30,
                                   "--force-field", FORCE_FIELD, "--out-dir", out)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr, "")
                self.assertTrue(result.stdout.startswith(f"Wrote {out}/data.lmp\n"))
                self.assertEqual((out / "data.lmp").read_text(), expected)

    def test_pack_writes_both_files_in_the_working_directory_by_default(self):
        (self.tmp / "force_field.json").write_bytes(FORCE_FIELD.read_bytes())
        result = boxwright("pack", "--species", EXAMPLES / "co2.json", EXAMPLES / "butane.json",
                           "--counts", 4, 2, "--density", 400, "--pair-style",
                           "lj-cut-coul-long", "--explicit-lb", cwd=self.tmp)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.startswith("Wrote ./data.lmp\nWrote ./forcefield.lmp\n"))
        self.assertIn("atoms: 20 (", result.stdout)
        forcefield = (self.tmp / "forcefield.lmp").read_text()
        self.assertIn("pair_style lj/cut/coul/long 10.0 10.0\n", forcefield)
        self.assertIn("Explicit LB: true", forcefield)

    def test_every_failure_is_one_line_and_status_1(self):
        bad_xyz = self.tmp / "short.xyz"
        bad_xyz.write_text("3\ncomment\nC 0 0 0\nO 1.16 0 0\n")
        odd = self.tmp / "coords.gro"
        odd.write_text("")
        species = ["--species", EXAMPLES / "co2.json", "--counts", 1]
        coords_args = ["from-coords", *species, "--box-length", 20, "--force-field", FORCE_FIELD]
        cases = [
            ("no command", [], "boxwright: the following arguments are required: COMMAND"),
            ("counts mismatch", ["pack", "--species", EXAMPLES / "co2.json", "--counts", 1, 2,
                                 "--density", 500, "--force-field", FORCE_FIELD],
             "boxwright: --species has 1 entries but --counts has 2 (they must match 1:1)"),
            ("negative count", ["pack", "--species", "a.json", "--counts", -1, "--density", 1],
             "boxwright: argument --counts: '-1' is negative"),
            ("density not a number", ["pack", *species, "--density", "dense"],
             "boxwright: argument --density: 'dense' is not a finite number"),
            ("missing force field", ["pack", *species, "--density", 500, "--force-field",
                                     self.tmp / "none.json"],
             f"boxwright: reading {self.tmp / 'none.json'}: No such file or directory"),
            ("short xyz", [*coords_args, "--coords", bad_xyz],
             f"boxwright: {bad_xyz}: declares 3 atoms but has 2 atom lines"),
            ("unknown coords format", [*coords_args, "--coords", odd],
             f"boxwright: {odd}: unknown coordinates format (expected a .xyz or .pdb file)"),
            ("missing coords file", [*coords_args, "--coords", self.tmp / "gone.pdb"],
             f"boxwright: reading {self.tmp / 'gone.pdb'}: No such file or directory"),
        ]
        for name, args, message in cases:
            with self.subTest(name):
                result = boxwright(*args, cwd=self.tmp)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stdout, "")
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                self.assertTrue(result.stderr.startswith(message), result.stderr)


if __name__ == "__main__":
    unittest.main()
