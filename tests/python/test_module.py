"""The module's face: __all__, docstrings, signatures, the stub, and the PyPairSetup class."""

import ast
import inspect
import pathlib
import subprocess
import sys
import unittest

import boxwright._engine as engine
import boxwright._native as native
from boxwright._native import PyPairSetup as P


class ModuleTest(unittest.TestCase):
    def test_names_and_docstring(self):
        self.assertEqual(native.__all__, ["PyPairSetup", "pack_packmol_py", "pack_from_coords_py"])
        self.assertNotIn("\n", native.__doc__)
        self.assertIn("`boxwright._native`", native.__doc__)

    def test_import_emits_no_warning(self):
        # A fresh interpreter, because this one has imported the modules already.
        for module in ("boxwright._native", "boxwright._engine"):
            with self.subTest(module):
                result = subprocess.run([sys.executable, "-X", "dev", "-W", "error", "-c",
                                         f"import {module}"], capture_output=True, text=True)
                self.assertEqual((result.returncode, result.stderr), (0, ""))

    def test_signatures_and_the_stub(self):
        stub = pathlib.Path(native.__file__).with_name("_native.pyi").read_text(encoding="utf-8")
        nodes = {node.name: node for node in ast.parse(stub).body if hasattr(node, "name")}
        self.assertEqual(ast.get_docstring(nodes["PyPairSetup"]), P.__doc__)
        defaults = "pair_style=Ellipsis, explicit_lb=False, force_field=Ellipsis, out_dir=Ellipsis"
        for function, signature in (
                (native.pack_packmol_py, f"(species, counts, density, {defaults}, tolerance=2.0)"),
                (native.pack_from_coords_py, f"(species, counts, coords, box_len, {defaults})")):
            with self.subTest(function.__name__):
                self.assertEqual(str(inspect.signature(function)), signature)
                self.assertEqual(function.__text_signature__, signature.replace("Ellipsis", "..."))
                node = nodes[function.__name__]
                self.assertEqual([a.arg for a in node.args.args],
                                 list(inspect.signature(function).parameters))
                self.assertEqual(inspect.cleandoc(ast.get_docstring(node)), function.__doc__)


class EngineTest(unittest.TestCase):
    def test_names_signatures_and_the_stub(self):
        self.assertEqual(engine.__all__, ["build_packmol", "build_from_coords", "option_table",
                                          "preset_names"])
        stub = pathlib.Path(engine.__file__).with_name("_engine.pyi").read_text(encoding="utf-8")
        nodes = {node.name: node for node in ast.parse(stub).body if hasattr(node, "name")}
        for function in (engine.build_packmol, engine.build_from_coords):
            with self.subTest(function.__name__):
                ours = inspect.signature(function).parameters
                node = nodes[function.__name__]
                self.assertEqual([a.arg for a in node.args.args + node.args.kwonlyargs], list(ours))
                defaults = [ast.literal_eval(d) for d in node.args.kw_defaults]
                self.assertEqual(defaults, [p.default for p in ours.values()
                                            if p.kind is inspect.Parameter.KEYWORD_ONLY])


class PyPairSetupTest(unittest.TestCase):
    def test_class_and_variants(self):
        self.assertEqual((P.__module__, P.__name__, P.__doc__),
                         ("builtins", "PyPairSetup", "Python-exposed PairSetup enum"))
        names = [n for n, v in vars(P).items() if isinstance(v, P)]
        self.assertEqual(names, ["Tip4p", "LjCut", "LjCutCoulLong"])
        for value, name in enumerate(names):
            with self.subTest(name):
                variant = getattr(P, name)
                self.assertIs(variant, getattr(P, name))
                self.assertEqual((int(variant), repr(variant), str(variant)),
                                 (value, f"PyPairSetup.{name}", f"PyPairSetup.{name}"))

    def test_equality(self):
        class Index:
            def __index__(self):
                return 2

        cases = [(P.Tip4p, P.Tip4p, True), (P.Tip4p, P.LjCut, False), (P.LjCut, 1, True),
                 (P.Tip4p, 0, True), (P.LjCut, 2, False), (P.LjCut, True, True),
                 (P.LjCutCoulLong, Index(), True), (P.LjCut, 2**64 + 1, False),
                 (P.Tip4p, -(2**64), False), (P.LjCut, "LjCut", False), (P.LjCut, 1.0, False),
                 (P.LjCut, None, False)]
        for left, right, equal in cases:
            with self.subTest(left=left, right=right):
                self.assertIs(left == right, equal)
                self.assertIs(left != right, not equal)
                self.assertIs(right == left, equal)

    def test_refusals(self):
        for code in ("P.Tip4p < P.LjCut", "P.Tip4p >= 0", "hash(P.LjCut)", "{P.LjCut}",
                     "{P.LjCut: 1}", "P()", "setattr(P, 'LjCut', None)", "[0, 1][P.LjCut]"):
            with self.subTest(code), self.assertRaises(TypeError):
                eval(code)
