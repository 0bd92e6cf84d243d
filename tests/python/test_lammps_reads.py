"""The real LAMMPS reads what we write, for every pair-style preset and for none.

Each case packs a small mixture from the bundled examples with Packmol, then runs `lmp` on the
two files with the input a user would write (units real, atom_style full, read_data data.lmp,
include forcefield.lmp, run 0). LAMMPS must accept both files, read as many atoms, bonds,
angles and dihedrals as the summary announces, and report finite energies.
"""

from __future__ import annotations

import math
import re
import tempfile
import unittest
from pathlib import Path

import lammps_run
import support
from boxwright._native import PyPairSetup, pack_packmol_py

EXAMPLES = support.EXAMPLES_DIR
FORCE_FIELD = EXAMPLES / "force_field.json"
DENSITY = 500.0  # kg/m³: a dense fluid whose box still holds the 10 Å cutoff comfortably


@unittest.skipUnless(lammps_run.LMP, lammps_run.MISSING_REASON)
class LammpsReadsOurFiles(unittest.TestCase):
    def build_and_run(self, species: list[tuple[str, int]], pair_style: PyPairSetup | None,
                      explicit_lb: bool, script: str) -> None:
        with tempfile.TemporaryDirectory() as tmp:
            summary = pack_packmol_py([str(EXAMPLES / name) for name, _ in species],
                                      [count for _, count in species], DENSITY, pair_style,
                                      explicit_lb, str(FORCE_FIELD), tmp)
            thermo, screen = lammps_run.run(Path(tmp), script)
        for key, value in thermo.items():
            self.assertTrue(math.isfinite(value), f"{key} = {value}")
        # The summary's counts, e.g. "atoms: 96 (3 types)  bonds: 64 (2 types)", are what
        # read_data must report having read.
        for kind, count in re.findall(r"(atoms|bonds|angles|dihedrals): (\d+) \(", summary):
            if count != "0":
                self.assertRegex(screen, rf"\n\s*{count} {kind}\n", f"LAMMPS read no {kind}")
        self.assertNotEqual(thermo["evdwl"], 0.0)

    def test_tip4p_with_water_first(self):
        # The preset names atom types 1 (O) and 2 (H), bond type 1 and angle type 1: water's.
        self.build_and_run([("water.json", 40), ("co2.json", 4), ("methane.json", 4)],
                           PyPairSetup.Tip4p, False, lammps_run.input_script())

    def test_lj_cut(self):
        self.build_and_run([("butane.json", 12), ("co2.json", 6), ("methane.json", 6)],
                           PyPairSetup.LjCut, False, lammps_run.input_script())

    def test_lj_cut_coul_long_with_explicit_pairs(self):
        # PPPM refuses a system without charges, so CO2 (charged) is part of the mixture.
        self.build_and_run([("co2.json", 16), ("propane.json", 8)],
                           PyPairSetup.LjCutCoulLong, True, lammps_run.input_script())

    def test_no_preset_with_the_users_pair_style(self):
        # Without a preset the pair style is the user's; it must come before the include,
        # which holds the pair coefficients.
        script = lammps_run.input_script(
            pair_style="pair_style lj/cut/coul/cut 10.0\npair_modify mix arithmetic tail yes")
        self.build_and_run([("water.json", 20), ("ethane.json", 8)], None, False, script)


if __name__ == "__main__":
    unittest.main()
