"""Whole builds through the module on the bundled examples, compared with golden files, and
builds from several Python threads at once."""

import re
import threading
from concurrent.futures import ThreadPoolExecutor

from boxwright._native import PyPairSetup, pack_from_coords_py, pack_packmol_py
from support import FORCE_FIELD, TempDirTestCase, example, lattice_coordinates

WATER, CO2, BUTANE = example("water.json"), example("co2.json"), example("butane.json")
COORDS_MIXTURE = [(WATER, 2), (CO2, 1), (BUTANE, 1)]
# An Atoms line: atom, molecule, type, charge | x, y, z in exponent form | the comment.
ATOM_LINE = re.compile(
    r"^(\s*\d+\s+\d+\s+\d+\s+-?\d+\.\d{6})((?:\s+-?\d\.\d{6}e-?\d+){3})(  # .*)$", re.MULTILINE)


def from_coords(out):
    species, counts = zip(*COORDS_MIXTURE)
    return pack_from_coords_py(list(species), list(counts), lattice_coordinates(COORDS_MIXTURE),
                               24.0, force_field=FORCE_FIELD, out_dir=str(out))


def with_packmol(out):
    return pack_packmol_py([WATER, CO2, BUTANE], [40, 10, 4], 700.0,
                           pair_style=PyPairSetup.LjCutCoulLong, explicit_lb=True,
                           force_field=FORCE_FIELD, out_dir=str(out))


BUILDS = {"coords": from_coords, "packmol": with_packmol}


class BuildTest(TempDirTestCase):
    def assert_build(self, kind, out, summary):
        data, forcefield = ((out / name).read_text() for name in ("data.lmp", "forcefield.lmp"))
        self.assert_matches_golden(f"{kind}_summary.txt", summary.replace(str(out), "<out>"))
        self.assert_matches_golden(f"{kind}_forcefield.lmp", forcefield)
        if kind == "coords":
            self.assert_matches_golden("coords_data.lmp", data)
            return
        # Packmol places at random, but always inside the box.
        self.assert_matches_golden("packmol_data.lmp",
                                   ATOM_LINE.sub(r"\1  <x> <y> <z>\3", data))
        edge = float(next(ln for ln in data.splitlines() if ln.endswith("xlo xhi")).split()[1])
        for match in ATOM_LINE.finditer(data):
            self.assertTrue(all(0 <= float(x) <= edge for x in match[2].split()), match[0])

    def test_builds_match_the_golden_files(self):
        for kind, build in BUILDS.items():
            with self.subTest(kind):
                self.assert_build(kind, self.tmp / kind, build(self.tmp / kind))

    def test_builds_from_several_threads(self):
        jobs = ["coords"] * 4 + ["packmol"] * 2
        start = threading.Barrier(len(jobs))

        def run(index, kind):
            start.wait()
            return BUILDS[kind](self.tmp / str(index))

        with ThreadPoolExecutor(len(jobs)) as pool:
            futures = [pool.submit(run, index, kind) for index, kind in enumerate(jobs)]
        for index, (kind, future) in enumerate(zip(jobs, futures)):
            with self.subTest(thread=index, kind=kind):
                self.assert_build(kind, self.tmp / str(index), future.result())

