"""Argument binding and conversion of both entry functions, and how failures are raised."""

import os
import pathlib
import unittest

from boxwright._native import PyPairSetup, pack_from_coords_py, pack_packmol_py
from support import TempDirTestCase, working_directory

TRIPLE = [[-0.8, 0.6, 0.0], [0.0, 0.0, 0.0], [0.8, 0.6, 0.0]]


class BindingTest(TempDirTestCase):
    def test_binding_failures(self):
        cases = [
            ("packmol: missing density", pack_packmol_py, (["a"], [1]), {}, "'density'"),
            ("packmol: surplus positional", pack_packmol_py, (["a"], [1], 1, None, False, "f", ".",
                                                              2.0, 9), {}, "at most 8"),
            ("packmol: unknown keyword", pack_packmol_py, (["a"], [1], 1), {"temp": 1}, "'temp'"),
            ("packmol: duplicate", pack_packmol_py, (["a"], [1], 1), {"counts": [1]}, "'counts'"),
            ("coords: missing box_len", pack_from_coords_py, (["a"], [1], []), {}, "'box_len'"),
            ("coords: unknown keyword", pack_from_coords_py, (["a"], [1], [], 1.0),
             {"tolerance": 2.0}, "'tolerance'"),
        ]
        for name, function, args, kwargs, mentioned in cases:
            with self.subTest(name), self.assertRaises(TypeError) as raised:
                function(*args, **kwargs)
            self.assertIn(mentioned, str(raised.exception))
            self.assertFalse(hasattr(raised.exception, "__notes__"))

    def test_conversion_failures_name_the_parameter(self):
        good = dict(species=["a.json"], counts=[1], density=1.0)
        good_coords = dict(species=["a.json"], counts=[1], coords=[[0, 0, 0]], box_len=9.0)
        vec = "Can't extract `str` to `Vec`"
        cases = [
            (pack_packmol_py, good, "species", "a.json", TypeError, vec),
            (pack_packmol_py, good, "species", [b"a.json"], TypeError, None),
            (pack_packmol_py, good, "counts", 3, TypeError, None),
            (pack_packmol_py, good, "counts", [-1], OverflowError, None),
            (pack_packmol_py, good, "counts", [2**64], OverflowError, None),
            (pack_packmol_py, good, "counts", [1.0], TypeError, None),
            (pack_packmol_py, good, "density", "dense", TypeError, None),
            (pack_packmol_py, good, "pair_style", 1, TypeError, None),
            (pack_packmol_py, good, "explicit_lb", 1, TypeError, None),
            (pack_packmol_py, good, "force_field", pathlib.Path("ff.json"), TypeError, None),
            (pack_packmol_py, good, "tolerance", None, TypeError, None),
            (pack_from_coords_py, good_coords, "counts", "1", TypeError, vec),
            (pack_from_coords_py, good_coords, "coords", ["abc"], TypeError, vec),
            (pack_from_coords_py, good_coords, "coords", [[0, 0, "z"]], TypeError, None),
            (pack_from_coords_py, good_coords, "box_len", "9", TypeError, None),
            (pack_from_coords_py, good_coords, "out_dir", None, TypeError, None),
        ]
        for function, base, parameter, value, error, message in cases:
            with self.subTest(function=function.__name__, parameter=parameter, value=value):
                with self.assertRaises(error) as raised:
                    function(**{**base, parameter: value})
                self.assertIs(type(raised.exception), error)
                self.assertEqual(raised.exception.__notes__, [f"while processing '{parameter}'"])
                if message is not None:
                    self.assertEqual(str(raised.exception), message)

    def test_first_bad_parameter_in_order_wins(self):
        with self.assertRaises(TypeError) as raised:
            pack_packmol_py(["a"], "1", None, pair_style=3, tolerance="x")
        self.assertEqual(raised.exception.__notes__, ["while processing 'counts'"])
        # The coordinate shape is checked only after every argument has converted.
        with self.assertRaises(TypeError) as raised:
            pack_from_coords_py(["a"], [1], [[1, 2]], 5.0, out_dir=7)
        self.assertEqual(raised.exception.__notes__, ["while processing 'out_dir'"])

    def test_sequences_and_numbers_of_other_kinds(self):
        paths = self.fixture()

        class Length:
            def __float__(self):
                return 12.0

        summary = pack_from_coords_py(
            (paths["tri"],), range(1, 2), (tuple(TRIPLE[0]), TRIPLE[1], [1, 2, 3]), Length(),
            force_field=paths["force_field"], out_dir=str(self.tmp / "out"))
        self.assertIn("box: 12.000 \u00c5 cube", summary)


class CoordinatesShapeTest(TempDirTestCase):
    def test_rows_that_are_not_triples(self):
        cases = [
            ([[0, 0, 0], [1, 2]], "coords[1] has 2 elements; expected [x, y, z]"),
            ([[1, 2, 3, 4]], "coords[0] has 4 elements; expected [x, y, z]"),
            ([[0, 0, 0], [], [1]], "coords[1] has 0 elements; expected [x, y, z]"),
        ]
        for coords, message in cases:
            with self.subTest(coords=coords), self.assertRaises(ValueError) as raised:
                # The force field does not exist: the shape is checked before any file is read.
                pack_from_coords_py(["a.json"], [1], coords, 10.0,
                                    force_field=str(self.tmp / "missing.json"))
            self.assertEqual(raised.exception.args, (message,))

    def test_coordinate_count_must_match_the_atoms(self):
        paths = self.fixture()
        for given in (8, 10):
            with self.subTest(given=given), self.assertRaises(RuntimeError) as raised:
                pack_from_coords_py([paths["tri"], paths["tri2"]], [2, 1], [TRIPLE[0]] * given,
                                    20.0, force_field=paths["force_field"],
                                    out_dir=str(self.tmp / "out"))
            self.assertEqual(raised.exception.args,
                             (f"internal error: expected 9 packed atom coordinates, got {given}",))


class BuildFailureTest(TempDirTestCase):
    def test_failures_are_runtime_errors_carrying_the_message(self):
        paths = self.fixture()
        missing = str(self.tmp / "missing.json")
        out = str(self.tmp / "out")
        cases = [
            ("missing force field", pack_from_coords_py,
             ([paths["tri"]], [1], TRIPLE, 10.0), {"force_field": missing},
             f"reading {missing}: No such file or directory (os error 2)"),
            ("all counts 0", pack_from_coords_py,
             ([paths["tri"], paths["argon"]], [0, 0], [TRIPLE[0]], 10.0),
             {"force_field": paths["force_field"]}, "all species have count 0; nothing to build"),
            ("no species", pack_packmol_py, ([], [], 1000.0), {},
             "at least one --species is required"),
            ("density 0", pack_packmol_py, ([paths["argon"]], [5], 0),
             {"force_field": paths["force_field"]}, "density must be positive"),
            ("species are loaded before packing", pack_packmol_py, ([missing], [5], 0),
             {"force_field": paths["force_field"]},
             f"reading {missing}: No such file or directory (os error 2)"),
        ]
        for name, function, args, kwargs, message in cases:
            with self.subTest(name), self.assertRaises(RuntimeError) as raised:
                function(*args, out_dir=out, **kwargs)
            self.assertIs(type(raised.exception), RuntimeError)
            self.assertEqual(raised.exception.args, (message,))
        self.assertFalse(os.path.exists(out))


class PairStyleTest(TempDirTestCase):
    def banner(self, out):
        text = (out / "forcefield.lmp").read_text(encoding="utf-8")
        return next(line for line in text.splitlines() if line.startswith("# Pair setup"))

    def test_pair_style_reaches_the_build(self):
        paths = self.fixture()
        cases = [
            ("omitted", {}, "# Pair setup : Some(LjCut)  |  Explicit LB: false"),
            ("None", {"pair_style": None}, "# Pair setup : None  |  Explicit LB: false"),
            ("Tip4p", {"pair_style": PyPairSetup.Tip4p, "explicit_lb": True},
             "# Pair setup : Some(Tip4p)  |  Explicit LB: true"),
            ("LjCutCoulLong", {"pair_style": PyPairSetup.LjCutCoulLong},
             "# Pair setup : Some(LjCutCoulLong)  |  Explicit LB: false"),
        ]
        for name, kwargs, banner in cases:
            with self.subTest(name):
                out = self.tmp / name
                summary = pack_from_coords_py([paths["argon"]], [1], [[1, 2, 3]], 10.0,
                                              force_field=paths["force_field"], out_dir=str(out),
                                              **kwargs)
                self.assertEqual(self.banner(out), banner)
                long_range = "warning: Long-range Coulomb" in summary
                self.assertEqual(long_range, name in ("Tip4p", "LjCutCoulLong"))


class DefaultPathsTest(TempDirTestCase):
    def test_defaults_are_relative_to_the_working_directory(self):
        paths = self.fixture()
        os.replace(paths["force_field"], self.tmp / "force_field.json")
        os.replace(paths["argon"], self.tmp / "argon.json")
        with working_directory(self.tmp):
            coords_summary = pack_from_coords_py(["argon.json"], [1], [[0, 0, 0]], 10)
            packmol_summary = pack_packmol_py(["argon.json"], [10], 1000.0)
        for summary in (coords_summary, packmol_summary):
            with self.subTest(summary=summary):
                self.assertTrue(summary.startswith("Wrote ./data.lmp\nWrote ./forcefield.lmp\n"))
        forcefield = (self.tmp / "forcefield.lmp").read_text(encoding="utf-8")
        self.assertIn("# Pair setup : Some(LjCut)  |  Explicit LB: false", forcefield)
        self.assertIn("10 atoms", (self.tmp / "data.lmp").read_text(encoding="utf-8"))


if __name__ == "__main__":
    unittest.main()
