"""Argument binding and conversion of the entry functions of `_native` and of `boxwright.pack`,
and how failures and warnings are raised."""

import array
import contextlib
import math
import pathlib
import pickle
import shutil
import warnings
from fractions import Fraction

from boxwright import BuildError, BuildWarning, pack
from boxwright._native import pack_from_coords_py, pack_packmol_py
from support import FORCE_FIELD, TempDirTestCase, TestCase, example

CO2, METHANE = example("co2.json"), example("methane.json")
PACKMOL = dict(species=["a.json"], counts=[1], density=1.0)
COORDS = dict(species=["a.json"], counts=[1], coords=[[0, 0, 0]], box_len=9.0)
BY_FRACTIONS = dict(counts=None, mole_fractions=[1], molecules=5)
VEC = "Can't extract `str` to `Vec`"


class BindingTest(TestCase):
    def test_binding_failures_use_the_interpreters_wording(self):
        cases = [
            (pack_packmol_py, (["a"], [1]), {}, "'density'"),
            (pack_packmol_py, (["a"], [1], 1, None, False, "f", ".", 2.0, 9), {}, "at most 8"),
            (pack_packmol_py, (["a"], [1], 1), {"temp": 1}, "'temp'"),
            (pack_from_coords_py, (["a"], [1], [], 1.0), {"tolerance": 2.0}, "'tolerance'"),
        ]
        for function, args, kwargs, mentioned in cases:
            with self.subTest(args=args, kwargs=kwargs), self.assertRaises(TypeError) as raised:
                function(*args, **kwargs)
            self.assertIn(mentioned, str(raised.exception))
            self.assertFalse(hasattr(raised.exception, "__notes__"))

    def test_conversion_failures_name_the_parameter(self):
        # The note names the first parameter of each row: the first to fail in parameter order.
        P, C = pack_packmol_py, pack_from_coords_py
        cases = [
            (P, {"species": "a.json"}, TypeError, VEC),
            (P, {"counts": [-1]}, OverflowError, None),
            (P, {"counts": "1", "density": None, "pair_style": 3, "tolerance": 0j}, TypeError, VEC),
            (P, {"explicit_lb": 1}, TypeError, None),
            (P, {"force_field": pathlib.Path("ff.json")}, TypeError, None),
            (C, {"coords": ["abc"]}, TypeError, VEC),
            # The shape of the coordinates is checked only after every argument has converted.
            (C, {"out_dir": 7, "coords": [[1, 2]]}, TypeError, None),
        ]
        for function, given, error, message in cases:
            with self.subTest(function=function.__name__, given=given):
                raised = self.assert_raises_exactly(error, message, function,
                                                    **{**(PACKMOL if function is P else COORDS),
                                                       **given})
                self.assertEqual(raised.__notes__, [f"while processing '{next(iter(given))}'"])


class CallTest(TempDirTestCase):
    def test_failures_carry_exactly_the_message(self):
        missing, out = str(self.tmp / "missing.json"), str(self.tmp / "out")
        no_file = f"reading {missing}: No such file or directory (os error 2)"
        origin = [0, 0, 0]

        # The coordinates' shape is checked before any file is read, so `missing` is not seen.
        def coords(rows):
            return lambda: pack_from_coords_py([CO2], [1], rows, 30.0, force_field=missing,
                                               out_dir=out)

        cases = [
            (ValueError, "coords[1] has 2 elements; expected [x, y, z]", coords([origin, [1, 2]])),
            (RuntimeError, no_file, coords([origin] * 3)),
            # Species are loaded before anything is packed, even at a density of 0.
            (RuntimeError, no_file, lambda: pack_packmol_py([missing], [5], 0,
                                                            force_field=FORCE_FIELD, out_dir=out)),
        ]
        for error, message, call in cases:
            with self.subTest(message):
                self.assertEqual(self.assert_raises_exactly(error, None, call).args, (message,))
        self.assertEqual(list(self.tmp.glob("out/*")), [])  # nothing written

    def test_defaults_are_relative_to_the_working_directory(self):
        shutil.copy(FORCE_FIELD, self.tmp)
        shutil.copy(METHANE, self.tmp)
        with contextlib.chdir(self.tmp):  # any sequence will do, and any number a float takes
            summaries = [pack_from_coords_py(("methane.json",), range(1, 2), ((0, 0, 0),),
                                             Fraction(10)),
                         pack_packmol_py(["methane.json"], [10], 1000.0)]
        for summary in summaries:
            self.assertTrue(summary.startswith("Wrote ./data.lmp\nWrote ./forcefield.lmp\n"))
        forcefield = (self.tmp / "forcefield.lmp").read_text(encoding="utf-8")
        self.assertIn("# Pair setup : Some(LjCut)  |  Explicit LB: false", forcefield)
        self.assertIn("10 atoms", (self.tmp / "data.lmp").read_text(encoding="utf-8"))


class PackageArgumentTest(TempDirTestCase):
    # Every mistake is refused before anything is read (the missing force field is never opened),
    # in a message naming the parameter as the caller wrote it, never a command-line option.
    def test_argument_mistakes_name_the_parameter(self):
        P, C = pack.packmol, pack.from_coords
        doubles = memoryview(array.array("d", [0.0] * 9))
        presets = "'auto', 'tip4p', 'lj-cut', 'lj-cut-coul-long', 'none'"
        cases = [  # the call, what differs from a good one, the exception and its message
            (P, {"species": 5}, TypeError,
             "species must be a path or a sequence of paths (str or os.PathLike), not int"),
            (C, {"species": [METHANE, 7]}, TypeError,
             "species[1] must be a path (str or os.PathLike), not int"),
            (C, {"pair_style": "lj"}, ValueError,
             f"pair_style 'lj' is not a preset; expected one of {presets}"),
            (C, {"pair_style": 1}, TypeError,
             f"pair_style must be a PyPairSetup, None or one of {presets}, not int"),
            (P, {"species": [], "counts": []}, ValueError,
             "species must name at least one molecule file"),
            (P, {"counts": [1, 2]}, ValueError,
             "species has 1 entry but counts has 2 entries (one count per species)"),
            (P, {"counts": 3}, TypeError, "counts must be a sequence of whole numbers, not int"),
            (P, {"counts": [-1]}, ValueError, "counts[0] must be 0 or more, got -1"),
            (P, {"counts": [2**64]}, ValueError,
             "counts[0] must be at most 18446744073709551615, got 18446744073709551616"),
            (P, {"counts": [1.0]}, TypeError, "counts[0] must be a whole number, not float"),
            (P, {"density": "dense"}, TypeError, "density must be a number, not str"),
            (P, {"density": 10**400}, ValueError, "density is too large for a float"),
            # Packmol itself crashes on a tolerance that is not finite.
            (P, {"tolerance": math.inf}, BuildError,
             "tolerance must be a finite length of at least 0 \u00c5, got inf"),
            (P, {"explicit_lb": 1}, TypeError, "explicit_lb must be a bool, not int"),
            (P, {"jobs": 2**63}, ValueError, "jobs must fit in 64 bits, got 9223372036854775808"),
            (P, {"jobs": 1, "subboxes": (1, 2)}, ValueError,
             "subboxes must be 3 whole numbers (nx, ny, nz), got 2"),
            (P, {"jobs": 1, "subboxes": (1, 2**32, 1)}, ValueError,
             "subboxes[1] must be at most 4294967295, got 4294967296"),
            (P, {"jobs": 1, "progress": 5}, TypeError,
             "progress must be callable or None, not int"),
            (C, {"coords": 5}, TypeError,
             "coords must be rows [x, y, z] or a buffer of shape (n, 3), not int"),
            (C, {"coords": [1.0, 2.0, 3.0]}, TypeError,
             "coords[0] must be a row [x, y, z], not float"),
            (C, {"coords": [[0, 0, 0], [0, 0, "z"]]}, TypeError,
             "coords[1][2] must be a number, not str"),
            (C, {"coords": [[0, 0, 0], [1, 2]]}, ValueError,
             "coords[1] has 2 elements; expected [x, y, z]"),
            (C, {"coords": doubles}, ValueError,
             "coords has shape (9,); expected (n, 3), one row [x, y, z] per atom"),
            (C, {"coords": doubles.cast("B").cast("c", [24, 3])}, TypeError,
             "coords must hold numbers, not buffer format 'c'"),
            (C, {"box_len": None}, TypeError,
             "from_coords() needs box_len unless coords is a file that states a box"),
            (C, {"coords": None}, TypeError, "from_coords() missing required argument: 'coords'"),
            # A mixture by composition: counts, or mole_fractions with molecules.
            (P, {"molecules": 5}, TypeError,
             "give counts or mole_fractions with molecules, not both"),
            (P, {"counts": None}, TypeError,
             "counts is required unless mole_fractions and molecules are given"),
            (P, {"counts": None, "mole_fractions": [1]}, TypeError,
             "mole_fractions needs molecules, the total number of molecules"),
            (C, {"counts": None, "molecules": 5}, TypeError, "molecules needs mole_fractions"),
            (P, {**BY_FRACTIONS, "mole_fractions": [1, "x"]}, TypeError,
             "mole_fractions[1] must be a number, not str"),
            # What the build refuses, also before anything is read.
            (P, {**BY_FRACTIONS, "mole_fractions": [0.985]}, BuildError,
             "mole fractions must sum to 1 (within 0.01), but they sum to 0.985"),
            (P, {**BY_FRACTIONS, "molecules": 0}, BuildError,
             "molecules must be from 1 to 1000000000000, got 0"),
            (P, {**BY_FRACTIONS, "molecules": 2**64}, ValueError,
             "molecules must be at most 1000000000000, got 18446744073709551616"),
            (P, {**BY_FRACTIONS, "molecules": True}, TypeError,
             "molecules must be a whole number, not bool"),
            (P, {"species": ["nope.json"], "jobs": -1}, BuildError,
             "jobs must be 0 (one per core) or a positive number, got -1"),
        ]
        good = {P: dict(species=METHANE, counts=[1], density=500.0),
                C: dict(species=CO2, counts=[1], coords=[[0, 0, 0]] * 3, box_len=20.0)}
        files = dict(force_field=self.tmp / "missing.json", out_dir=self.tmp / "out")
        for call, change, error, message in cases:
            with self.subTest(message):
                self.assert_raises_exactly(error, message, call, **{**files, **good[call], **change})
        self.assertFalse((self.tmp / "out").exists())

    # How many rows the positions need is known once the species are read.
    def test_positions_must_be_one_per_atom_of_the_species(self):
        self.assert_raises_exactly(
            ValueError, "coords has 4 rows, but the species and counts make 3 atoms",
            pack.from_coords, CO2, [1], [[0, 0, 0]] * 4, 20.0, force_field=FORCE_FIELD,
            out_dir=self.tmp / "out")
        self.assertFalse((self.tmp / "out").exists())


class PackageFailureTest(TempDirTestCase):
    def test_build_errors_carry_the_file_and_line_at_fault(self):
        (self.tmp / "ff.json").write_text('{"MixingRule": "Lorentz-Berthelot",\n'
                                          '"PseudoAtoms": [,]}')
        (self.tmp / "co2.xyz").write_text("3\n\nC_co2 0 0 0\nO_co2 1.16 0 zero\nO_co2 -1.16 0 0\n")
        ff, xyz, missing = (str(self.tmp / name) for name in ("ff.json", "co2.xyz", "none.json"))
        cases = [  # force field, coords, count: the file and line at fault, the message's start
            (ff, [[0, 0, 0]] * 3, 1, ff, 2, f"parsing {ff}: "),
            (FORCE_FIELD, xyz, 1, xyz, 4, f"{xyz}:4: the z coordinate 'zero'"),
            (missing, [[0, 0, 0]] * 3, 1, missing, None, f"reading {missing}: "),
            (FORCE_FIELD, [[0, 0, 0]] * 3, 0, None, None, "all species have count 0"),
            # In O, C, O order; the refusal names the keyword that skips the check.
            (FORCE_FIELD, [[1.16, 0, 0], [0, 0, 0], [-1.16, 0, 0]], 1, None, None,
             "coordinates do not fit molecule 1 of 'co2': atoms 1 (C_co2) and 3 (O_co2) are "
             "2.320 Å apart, the molecule file has 1.160 Å (check the atom order; "
             "check_bonds=False skips this check)"),
        ]
        for force_field, coords, count, file, line, message in cases:
            with self.subTest(message), self.assertRaises(BuildError) as raised:
                pack.from_coords(CO2, [count], coords, 20.0,
                                 force_field=force_field, out_dir=self.tmp / "out")
            error = raised.exception
            self.assertIsInstance(error, RuntimeError)  # as builds raised before BuildError
            self.assertTrue(str(error).startswith(message), str(error))
            self.assertEqual((error.message, error.file, error.line), (str(error), file, line))
            copy = pickle.loads(pickle.dumps(error))
            self.assertEqual((type(copy), copy.message, copy.file, copy.line),
                             (BuildError, error.message, file, line))
        self.assertFalse((self.tmp / "out").exists())

    # Two methane molecules half an ångström apart: a warning of the report.
    def test_each_warning_of_the_report_is_a_build_warning_at_the_callers_line(self):
        def build(out):
            return pack.from_coords(METHANE, [2], [[1, 1, 1], [1.5, 1, 1]], 30.0,
                                    force_field=FORCE_FIELD, out_dir=self.tmp / out)

        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            report = build("recorded")
        self.assertTrue(report.warnings)
        self.assertEqual([(w.category, str(w.message)) for w in caught],
                         [(BuildWarning, text) for text in report.warnings])
        self.assertEqual({w.filename for w in caught}, {__file__})
        with warnings.catch_warnings():
            warnings.simplefilter("error", BuildWarning)
            with self.assertRaises(BuildWarning):
                build("raised")
        # The exception comes once the files are written.
        self.assertTrue((self.tmp / "raised" / "data.lmp").is_file())
