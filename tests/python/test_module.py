"""The module's face: __all__, docstrings, signatures, the stub, and the PyPairSetup class."""

import ast
import inspect
import pathlib
import subprocess
import sys
import unittest

import boxwright._native as native
from boxwright._native import PyPairSetup

STUB = pathlib.Path(native.__file__).with_name("_native.pyi")


class ModuleTest(unittest.TestCase):
    def test_all_lists_the_three_names_in_order(self):
        self.assertEqual(native.__all__, ["PyPairSetup", "pack_packmol_py", "pack_from_coords_py"])

    def test_docstring_is_one_line_naming_the_import_path(self):
        self.assertNotIn("\n", native.__doc__)
        self.assertIn("`boxwright._native`", native.__doc__)

    def test_import_emits_no_warning(self):
        # A fresh interpreter, because this one has imported the module already.
        result = subprocess.run([sys.executable, "-X", "dev", "-W", "error", "-c",
                                 "import boxwright._native"], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stderr), (0, ""))

    def test_signatures_show_defaults(self):
        for function, required in ((native.pack_packmol_py, "species, counts, density"),
                                   (native.pack_from_coords_py, "species, counts, coords, box_len")):
            with self.subTest(function.__name__):
                self.assertTrue(str(inspect.signature(function)).startswith(
                    f"({required}, pair_style=Ellipsis, explicit_lb=False, force_field=Ellipsis, "
                    "out_dir=Ellipsis"))

    def test_stub_agrees_with_the_module(self):
        tree = ast.parse(STUB.read_text(encoding="utf-8"))
        functions = {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}
        for name in ("pack_packmol_py", "pack_from_coords_py"):
            with self.subTest(name):
                stub, runtime = functions[name], getattr(native, name)
                self.assertEqual([a.arg for a in stub.args.args],
                                 list(inspect.signature(runtime).parameters))
                self.assertEqual(inspect.cleandoc(ast.get_docstring(stub)), runtime.__doc__)
        classes = [node for node in tree.body if isinstance(node, ast.ClassDef)]
        self.assertEqual([c.name for c in classes], ["PyPairSetup"])
        self.assertEqual(ast.get_docstring(classes[0]), PyPairSetup.__doc__)


class PyPairSetupTest(unittest.TestCase):
    VARIANTS = [("Tip4p", 0), ("LjCut", 1), ("LjCutCoulLong", 2)]

    def test_class_identity(self):
        self.assertEqual((PyPairSetup.__module__, PyPairSetup.__name__), ("builtins", "PyPairSetup"))
        names = [n for n, v in vars(PyPairSetup).items() if isinstance(v, PyPairSetup)]
        self.assertEqual(names, ["Tip4p", "LjCut", "LjCutCoulLong"])

    def test_variants(self):
        for name, value in self.VARIANTS:
            with self.subTest(name):
                variant = getattr(PyPairSetup, name)
                self.assertIs(variant, getattr(PyPairSetup, name))
                self.assertEqual(int(variant), value)
                self.assertEqual(repr(variant), f"PyPairSetup.{name}")
                self.assertEqual(str(variant), f"PyPairSetup.{name}")

    def test_equality(self):
        class Index:
            def __index__(self):
                return 2

        P = PyPairSetup
        cases = [
            ("same variant", P.Tip4p, P.Tip4p, True),
            ("other variant", P.Tip4p, P.LjCut, False),
            ("int", P.LjCut, 1, True),
            ("zero", P.Tip4p, 0, True),
            ("other int", P.LjCut, 2, False),
            ("bool", P.LjCut, True, True),
            ("object with __index__", P.LjCutCoulLong, Index(), True),
            ("int beyond 64 bits", P.LjCut, 2**64 + 1, False),
            ("negative int beyond 64 bits", P.Tip4p, -(2**64), False),
            ("str", P.LjCut, "LjCut", False),
            ("float", P.LjCut, 1.0, False),
            ("None", P.LjCut, None, False),
        ]
        for name, left, right, equal in cases:
            with self.subTest(name):
                self.assertIs(left == right, equal)
                self.assertIs(left != right, not equal)
                self.assertIs(right == left, equal)

    def test_refusals(self):
        cases = [
            ("ordering", lambda: PyPairSetup.Tip4p < PyPairSetup.LjCut),
            ("ordering with int", lambda: PyPairSetup.Tip4p >= 0),
            ("hash", lambda: hash(PyPairSetup.LjCut)),
            ("set member", lambda: {PyPairSetup.LjCut}),
            ("dict key", lambda: {PyPairSetup.LjCut: 1}),
            ("constructor", lambda: PyPairSetup()),
            ("replacing a variant", lambda: setattr(PyPairSetup, "LjCut", None)),
            ("as an index", lambda: [0, 1][PyPairSetup.LjCut]),
        ]
        for name, action in cases:
            with self.subTest(name), self.assertRaises(TypeError):
                action()


if __name__ == "__main__":
    unittest.main()
