"""The package's builds: the same files as `boxwright._native`, plus in.lmp and a report of what
was built and chosen."""

import json
import pathlib

from boxwright import BuildError, _native, pack
from boxwright.pack import PyPairSetup
from boxwright.report import AtomType
from support import FORCE_FIELD, TempDirTestCase, example, lattice_coordinates

WATER, CO2, BUTANE, METHANE, ETHANE, PROPANE = (
    example(f"{n}.json") for n in ("water", "co2", "butane", "methane", "ethane", "propane"))
MIXTURE = [(WATER, 2), (CO2, 1), (METHANE, 0), (BUTANE, 1)]


class PackageBuildTest(TempDirTestCase):
    # The summary of _native labels every line of it "warning:"; the package's labels a note so.
    def test_the_two_files_and_the_summary_are_those_of_native(self):
        species, counts = map(list, zip(*MIXTURE))
        for kind, ours, native, placing in (
                ("coords", pack.from_coords, _native.pack_from_coords_py,
                 (lattice_coordinates(MIXTURE), 24.0)),
                ("packmol", pack.packmol, _native.pack_packmol_py, (600.0,))):
            with self.subTest(kind):
                out, native_out = self.tmp / kind, self.tmp / f"{kind}_native"
                report = ours(species, counts, *placing, pair_style=PyPairSetup.Tip4p,
                              explicit_lb=True, force_field=FORCE_FIELD, out_dir=out)
                summary = native(species, counts, *placing, PyPairSetup.Tip4p, True, FORCE_FIELD,
                                 str(native_out))
                self.assertIn("\nnote: Long-range Coulomb interaction solver", str(report))
                expected = summary.replace(str(native_out), str(out))
                for note in report.notes:
                    expected = expected.replace(f"warning: {note}\n", f"note: {note}\n")
                self.assertEqual(str(report), expected)
                for name in ("data.lmp", "forcefield.lmp"):
                    self.assertEqual(*((d / name).read_bytes() for d in (out, native_out)), name)
                self.assertEqual(report.files, tuple(str(out / name) for name in
                                                     ("data.lmp", "forcefield.lmp", "in.lmp")))

    # The coordinates are made for the counts expected, so the build's counts must be those.
    def test_mole_fractions_are_rounded_to_counts_that_a_note_explains(self):
        note = ("mole fractions {} of {} molecules give counts {} ({} \u00d7 x = {}, rounded to "
                "whole molecules that sum to {})")
        left_out = ("mole fraction 0.1 of 4 molecules rounds to 0 molecules of 'methane' "
                    "(4 \u00d7 x = 0.40): it is left out; raise molecules (--molecules) to "
                    "include it")
        cases = [  # fractions of methane and CO2, molecules, the counts, the note's numbers
            ([0.1, 0.9], 4, [0, 4], ("0.1, 0.9", 4, "0, 4", 4, "0.40, 3.60", 4), [left_out]),
            ([0, 1], 2, [0, 2], ("0, 1", 2, "0, 2", 2, "0.00, 2.00", 2), []),
        ]
        for number, (fractions, molecules, counts, numbers, warnings) in enumerate(cases):
            with self.subTest(fractions=fractions, molecules=molecules):
                mixture = list(zip((METHANE, CO2), counts))
                report = pack.from_coords([METHANE, CO2], None, lattice_coordinates(mixture),
                                          24.0, force_field=FORCE_FIELD,
                                          out_dir=self.tmp / str(number),
                                          mole_fractions=fractions, molecules=molecules)
                self.assertEqual([(s.name, s.count) for s in report.species],
                                 [(pathlib.Path(p).stem, c) for p, c in mixture if c])
                self.assertIn(note.format(*numbers), report.format())
                self.assertEqual([w for w in report.warnings if "mole fraction" in w], warnings)

    # Ethane and butane share CH3; propane, with count 0, takes no part (the numbering itself is
    # type_registry_test.cpp's, the data file's the golden files').
    def test_the_type_map_names_the_species_of_each_type(self):
        mixture = [(ETHANE, 2), (PROPANE, 0), (BUTANE, 1)]
        species, counts = zip(*mixture)
        report = pack.from_coords(list(species), list(counts), lattice_coordinates(mixture), 24.0,
                                  force_field=FORCE_FIELD, out_dir=self.tmp)
        self.assertEqual(report.atom_types, (AtomType(1, "CH3", ("ethane", "butane")),
                                             AtomType(2, "CH2", ("butane",))))
        self.assertIn("\natom types: 1 CH3 (ethane, butane); 2 CH2 (butane)\n", report.format())

    # A box under twice the cutoff is a routine fact: a note, under its own heading, never a
    # warning (the command line prints warnings alone on standard error).
    def test_notes_are_printed_under_their_own_heading(self):
        mixture = [(METHANE, 2)]
        report = pack.from_coords([METHANE], [2], lattice_coordinates(mixture), 16.0,
                                  force_field=FORCE_FIELD, out_dir=self.tmp)
        self.assertTrue(any("under twice the cutoff" in note for note in report.notes))
        self.assertIn("\nnotes:\n" + "".join(f"  {note}\n" for note in report.notes),
                      report.format())

    def test_auto_takes_the_coulomb_preset_only_for_charges(self):
        cases = [
            ([(BUTANE, 2), (METHANE, 3)], "auto", "LjCut"),
            ([(BUTANE, 2), (CO2, 1)], "auto", "LjCutCoulLong"),
            # The bundled water declares its M site: a four-site water, whatever comes first.
            ([(METHANE, 2), (WATER, 1)], "auto", "Tip4p"),
            # A charged species with count 0 takes no part.
            ([(METHANE, 3), (WATER, 0)], "auto", "LjCut"),
            ([(BUTANE, 2), (CO2, 1)], PyPairSetup.LjCut, "LjCut"),
            # The command line's names for the presets.
            ([(METHANE, 2), (WATER, 1)], "tip4p", "Tip4p"),
            ([(BUTANE, 2)], "none", None),
        ]
        for number, (mixture, asked, chosen) in enumerate(cases):
            with self.subTest(mixture=mixture, asked=asked):
                species, counts = zip(*mixture)
                report = pack.from_coords(list(species), list(counts),
                                          lattice_coordinates(mixture), 30.0, pair_style=asked,
                                          force_field=FORCE_FIELD, out_dir=self.tmp / str(number))
                self.assertEqual(report.pair_style, chosen)

    # TIP4P-Ew's M site is 0.125 Å from O: the package writes what the water declares, the
    # specified module TIP4P/2005's distance whatever is declared.
    def test_the_declared_m_site_is_the_one_written(self):
        water = json.loads(pathlib.Path(WATER).read_text(encoding="utf-8"))
        water["MSite"] = 0.125
        path = self.tmp / "tip4pew.json"
        path.write_text(json.dumps(water), encoding="utf-8")
        coords = lattice_coordinates([(WATER, 2)])
        pack.from_coords(path, [2], coords, 20.0, force_field=FORCE_FIELD, out_dir=self.tmp / "a")
        _native.pack_from_coords_py([str(path)], [2], coords, 20.0, PyPairSetup.Tip4p,
                                    force_field=FORCE_FIELD, out_dir=str(self.tmp / "n"))
        for out, distance in (("a", "0.125"), ("n", "0.1546")):
            with self.subTest(out):
                forcefield = (self.tmp / out / "forcefield.lmp").read_text(encoding="utf-8")
                self.assertIn(f"pair_style lj/cut/tip4p/long 1 2 1 1 {distance} 10.0\n",
                              forcefield)

    def test_bad_run_settings_and_presets(self):
        base = dict(species=[METHANE], counts=[1], coords=[[0, 0, 0]], box_len=30.0,
                    force_field=FORCE_FIELD, out_dir=str(self.tmp))
        cases = [
            ({"temperature": -1.0}, "temperature must be a number of kelvin from 0.1 to 100000, "
             "got -1"),
            ({"kspace_accuracy": 1},
             "kspace_accuracy must be a relative error above 1e-12 and below 1, got 1"),
            ({"cutoff": 12, "input_script": False},
             "cutoff is set in in.lmp, but no in.lmp is written"),
            ({"cutoff": 12, "pair_style": "none"}, "cutoff needs a pair-style preset, not none"),
            ({"kspace_accuracy": 1e-5, "pair_style": "lj-cut"},
             "kspace_accuracy needs a pair style with a long-range solver; LjCut has none"),
            ({"coulomb_cutoff": 12},  # methane has no charge
             "coulomb_cutoff needs a pair style with a Coulomb term; LjCut has none (auto chose "
             "it: no atom carries a charge)"),
        ]
        for change, message in cases:
            with self.subTest(change), self.assertRaises(BuildError) as raised:
                pack.from_coords(**{**base, **change})
            self.assertEqual(str(raised.exception), message)
            self.assertFalse((self.tmp / "data.lmp").exists())
