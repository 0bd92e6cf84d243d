"""Whole builds through the module on the bundled examples, compared with golden files, and
builds from several Python threads at once."""

import threading
import unittest

from boxwright._native import PyPairSetup, pack_from_coords_py, pack_packmol_py
from support import (EXAMPLES_DIR, TempDirTestCase, atom_positions, lattice_coordinates,
                     mask_positions)

FORCE_FIELD = str(EXAMPLES_DIR / "force_field.json")
COORDS_MIXTURE = [(str(EXAMPLES_DIR / "water.json"), 2), (str(EXAMPLES_DIR / "co2.json"), 1),
                  (str(EXAMPLES_DIR / "butane.json"), 1)]
PACKMOL_MIXTURE = [(str(EXAMPLES_DIR / "water.json"), 40), (str(EXAMPLES_DIR / "co2.json"), 10),
                   (str(EXAMPLES_DIR / "butane.json"), 4)]
COORDS_BOX = 24.0
PACKMOL_DENSITY = 700.0


def build_from_coords(out_dir):
    species, counts = zip(*COORDS_MIXTURE)
    return pack_from_coords_py(list(species), list(counts), lattice_coordinates(COORDS_MIXTURE),
                               COORDS_BOX, force_field=FORCE_FIELD, out_dir=str(out_dir))


def build_with_packmol(out_dir):
    species, counts = zip(*PACKMOL_MIXTURE)
    return pack_packmol_py(list(species), list(counts), PACKMOL_DENSITY,
                           pair_style=PyPairSetup.LjCutCoulLong, explicit_lb=True,
                           force_field=FORCE_FIELD, out_dir=str(out_dir))


def read_outputs(out_dir):
    return [(out_dir / name).read_text(encoding="utf-8") for name in ("data.lmp", "forcefield.lmp")]


class BuildTest(TempDirTestCase):
    def test_from_coordinates(self):
        out = self.tmp / "coords"
        summary = build_from_coords(out)
        data, forcefield = read_outputs(out)
        self.assert_matches_golden("coords_summary.txt", summary.replace(str(out), "<out>"))
        self.assert_matches_golden("coords_data.lmp", data)
        self.assert_matches_golden("coords_forcefield.lmp", forcefield)

    def test_with_packmol(self):
        out = self.tmp / "packmol"
        summary = build_with_packmol(out)
        data, forcefield = read_outputs(out)
        self.assert_matches_golden("packmol_summary.txt", summary.replace(str(out), "<out>"))
        self.assert_matches_golden("packmol_data.lmp", mask_positions(data))
        self.assert_matches_golden("packmol_forcefield.lmp", forcefield)
        # Packmol places at random, but always inside the box.
        edge = float(next(l for l in data.splitlines() if l.endswith("xlo xhi")).split()[1])
        for position in atom_positions(data):
            self.assertTrue(all(0.0 <= x <= edge for x in position), position)


class ThreadsTest(TempDirTestCase):
    def test_builds_from_several_threads(self):
        reference = build_from_coords(self.tmp / "reference")
        jobs = [("coords", build_from_coords)] * 4 + [("packmol", build_with_packmol)] * 2
        results = [None] * len(jobs)
        start = threading.Barrier(len(jobs))

        def run(index, build):
            start.wait()
            try:
                results[index] = build(self.tmp / f"thread{index}")
            except BaseException as error:  # reported below, on the main thread
                results[index] = error

        threads = [threading.Thread(target=run, args=(i, build))
                   for i, (_, build) in enumerate(jobs)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

        expected_data, expected_forcefield = read_outputs(self.tmp / "reference")
        for index, (kind, _) in enumerate(jobs):
            out = self.tmp / f"thread{index}"
            with self.subTest(thread=index, kind=kind):
                self.assertIsInstance(results[index], str)
                data, forcefield = read_outputs(out)
                if kind == "coords":
                    self.assertEqual(results[index].replace(str(out), "<out>"),
                                     reference.replace(str(self.tmp / "reference"), "<out>"))
                    self.assertEqual((data, forcefield), (expected_data, expected_forcefield))
                else:
                    self.assert_matches_golden("packmol_data.lmp", mask_positions(data))
                    self.assert_matches_golden("packmol_forcefield.lmp", forcefield)


if __name__ == "__main__":
    unittest.main()
