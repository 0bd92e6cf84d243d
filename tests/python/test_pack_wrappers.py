"""boxwright.pack: the typed wrappers take path objects and behave exactly like the native calls."""

from __future__ import annotations

import inspect
import unittest

import support
from boxwright import _native, pack

EXAMPLES = support.EXAMPLES_DIR
FORCE_FIELD = EXAMPLES / "force_field.json"
METHANE = EXAMPLES / "methane.json"
TWO_METHANES = [[1.0, 1.0, 1.0], [6.0, 6.0, 6.0]]


class PackWrappers(support.TempDirTestCase):
    def test_from_coords_with_paths_matches_the_native_call_with_strings(self):
        out = self.tmp / "nested" / "out"
        summary = pack.from_coords([METHANE], [2], TWO_METHANES, 20.0,
                                   force_field=FORCE_FIELD, out_dir=out)
        files = {name: (out / name).read_text() for name in ("data.lmp", "forcefield.lmp")}
        native = _native.pack_from_coords_py([str(METHANE)], [2], TWO_METHANES, 20.0,
                                             force_field=str(FORCE_FIELD), out_dir=str(out))
        self.assertIsInstance(summary, str)
        self.assertEqual(summary, native)
        self.assertTrue(summary.startswith(f"Wrote {out}/data.lmp\nWrote {out}/forcefield.lmp\n"))
        for name, text in files.items():
            self.assertEqual((out / name).read_text(), text, name)

    def test_packmol_with_paths(self):
        summary = pack.packmol([METHANE], [5], 400.0, pack.PyPairSetup.LjCut, False,
                               FORCE_FIELD, self.tmp, 2.0)
        self.assertTrue(summary.startswith(f"Wrote {self.tmp}/data.lmp\n"))
        self.assertIn("atoms: 5 (1 types)", summary)

    def test_parameters_mirror_the_native_functions(self):
        pairs = ((pack.packmol, _native.pack_packmol_py),
                 (pack.from_coords, _native.pack_from_coords_py))
        for wrapper, native in pairs:
            with self.subTest(wrapper.__name__):
                ours = inspect.signature(wrapper).parameters
                theirs = inspect.signature(native).parameters
                self.assertEqual(list(ours), list(theirs))
                for name, param in theirs.items():
                    if param.default is not param.empty and param.default is not Ellipsis:
                        self.assertEqual(ours[name].default, param.default, name)
                self.assertIs(ours["pair_style"].default, _native.PyPairSetup.LjCut)
                self.assertEqual(ours["force_field"].default, "force_field.json")
                self.assertEqual(ours["out_dir"].default, ".")

    def test_failures_pass_through_unchanged(self):
        missing = self.tmp / "missing.json"
        cases = [
            # A single path where a list belongs is refused, not split into characters.
            ("one str as species", TypeError, "Can't extract `str` to `Vec`",
             lambda: pack.from_coords(str(METHANE), [1], [[0, 0, 0]], 10.0,
                                      force_field=FORCE_FIELD, out_dir=self.tmp)),
            ("missing force field", RuntimeError,
             f"reading {missing}: No such file or directory (os error 2)",
             lambda: pack.from_coords([METHANE], [1], [[0, 0, 0]], 10.0,
                                      force_field=missing, out_dir=self.tmp)),
            ("coordinate not a triple", ValueError,
             "coords[1] has 2 elements; expected [x, y, z]",
             lambda: pack.from_coords([METHANE], [2], [[0, 0, 0], [1, 2]], 10.0,
                                      force_field=missing, out_dir=self.tmp)),
            ("zero density", RuntimeError, "density must be positive",
             lambda: pack.packmol([METHANE], [1], 0.0, force_field=FORCE_FIELD,
                                  out_dir=self.tmp)),
        ]
        for name, error, message, call in cases:
            with self.subTest(name):
                with self.assertRaises(error) as caught:
                    call()
                self.assertEqual(caught.exception.args, (message,))
        self.assertEqual(list(self.tmp.iterdir()), [])


if __name__ == "__main__":
    unittest.main()
