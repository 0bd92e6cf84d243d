"""The real LAMMPS reads what we write, for every pair-style preset and for none: it accepts both
files, reads as many atoms, bonds, angles and dihedrals as the summary announces, and reports
finite energies after `run 0`. No source text quoted in a comment changes what LAMMPS runs."""

import json
import math
import pathlib
import re
import subprocess

from boxwright._native import PyPairSetup, pack_from_coords_py, pack_packmol_py
from support import (FORCE_FIELD, TempDirTestCase, example, lattice_coordinates, lmp,
                     needs_lammps, run_lammps)

CASES = [
    # The preset names atom types 1 (O) and 2 (H), bond type 1 and angle type 1: water's.
    (PyPairSetup.Tip4p, False, "", [("water", 40), ("co2", 4), ("methane", 4)]),
    (PyPairSetup.LjCut, False, "", [("butane", 12), ("co2", 6), ("methane", 6)]),
    # PPPM refuses a system without charges, so CO2 (charged) is part of the mixture.
    (PyPairSetup.LjCutCoulLong, True, "", [("co2", 16), ("propane", 8)]),
    # No preset: the pair style is the user's, given before forcefield.lmp with its coefficients.
    (None, False, "pair_style lj/cut/coul/cut 10.0\npair_modify mix arithmetic tail yes",
     [("water", 20), ("ethane", 8)]),
]


@needs_lammps
class LammpsReadsOurFiles(TempDirTestCase):
    def test_every_preset_and_none(self):
        for number, (preset, explicit_lb, pair_style, species) in enumerate(CASES):
            with self.subTest(preset=preset, species=species):
                out = self.tmp / str(number)
                # 500 kg/m³: a dense fluid whose box still holds the 10 Å cutoff comfortably.
                summary = pack_packmol_py([example(f"{name}.json") for name, _ in species],
                                          [count for _, count in species], 500.0, preset,
                                          explicit_lb, FORCE_FIELD, str(out))
                thermo, screen = run_lammps(out, pair_style)
                for key, value in thermo.items():
                    self.assertTrue(math.isfinite(value), f"{key} = {value}")
                self.assertNotEqual(thermo["evdwl"], 0.0)
                # "atoms: 96 (3 types)  bonds: 64 (2 types)": what read_data must have read.
                for kind, count in re.findall(r"(atoms|bonds|angles|dihedrals): (\d+) \(", summary):
                    if count != "0":
                        self.assertRegex(screen, rf"\n\s*{count} {kind}\n")


    def test_source_texts_stay_comments_whatever_quotes_and_blanks_they_hold(self):
        # LAMMPS takes three double quotes in a row, even in a comment, as opening or closing a
        # text over several lines, and a line ending in '&' (white space after it included) as
        # continued: runs of 3 to 12 quotes, and an '&' before each kind of white space LAMMPS
        # skips. The carriage return ends the source, where it is no part of a line ending.
        lines = ['Smith ' + '"' * n + 'quoted note' for n in range(3, 13)]
        lines += ["Abascal &" + blank for blank in (" ", "\t", "\v", "\f", " \v\f\t", "\r")]
        field = json.loads(pathlib.Path(FORCE_FIELD).read_text(encoding="utf-8"))
        for atom in field["PseudoAtoms"]:
            if atom["name"] == "CH4":
                atom["source"] = "\n".join(lines)
        (self.tmp / "ff.json").write_text(json.dumps(field), encoding="utf-8")
        pack_from_coords_py([example("methane.json")], [8],
                            lattice_coordinates([(example("methane.json"), 8)]), 24.0,
                            PyPairSetup.LjCut, False, str(self.tmp / "ff.json"), str(self.tmp))
        # The whole file runs, masses and all ...
        run_lammps(self.tmp)
        # ... and each source line alone lets the command after it run.
        text = (self.tmp / "forcefield.lmp").read_text(encoding="utf-8")
        written = [line for line in text.split("\n")
                   if line.startswith(("#   Smith", "#   Abascal"))]
        self.assertEqual(len(written), len(lines))
        self.assertFalse(any('"""' in line for line in written))
        probe = "".join(f'{line}\nprint "after {n}"\n' for n, line in enumerate(written))
        (self.tmp / "probe.in").write_text(probe, encoding="utf-8")
        screen = lmp(["-in", "probe.in", "-log", "none", "-nocite"], self.tmp, timeout=60).stdout
        for n, line in enumerate(written):
            with self.subTest(line=line):
                self.assertIn(f"\nafter {n}\n", screen)
