"""The real LAMMPS reads what we write, for every pair-style preset and for none: it accepts both
files, reads as many atoms, bonds, angles and dihedrals as the summary announces, and reports
finite energies after `run 0`."""

import math
import re

from boxwright._native import PyPairSetup, pack_packmol_py
from support import FORCE_FIELD, TempDirTestCase, example, needs_lammps, run_lammps

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

