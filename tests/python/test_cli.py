"""The front door: `python -m boxwright`, run as a user runs it, and the boxwright.pack wrappers."""

import inspect
import json
import os
import re
import shutil
import subprocess
import sys
import unittest

from boxwright import _native, cli, pack
from support import EXAMPLES, FORCE_FIELD, TempDirTestCase, lattice_coordinates

CO2, BUTANE, METHANE = EXAMPLES / "co2.json", EXAMPLES / "butane.json", EXAMPLES / "methane.json"


def boxwright(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "boxwright", *map(str, args)], cwd=cwd,
                          capture_output=True, text=True, timeout=300)


class CommandLineTest(TempDirTestCase):
    def test_parser_and_help_keep_the_library_defaults(self):
        # A default lives in the wrappers' signatures, the parser and the help text; taken from the
        # first, a default changed in only one of them fails here.
        for command, wrapper, required in (
                ("pack", pack.packmol, ["--density", "1"]),
                ("from-coords", pack.from_coords, ["--coords", "c.xyz", "--box-length", "1"])):
            with self.subTest(command):
                library = {n: p.default for n, p in inspect.signature(wrapper).parameters.items()}
                args = cli.build_parser().parse_args(
                    [command, "--species", "a.json", "--counts", "1", *required])
                preset = cli.PAIR_STYLES[args.pair_style]
                self.assertEqual(preset if preset in (None, "auto")
                                 else getattr(pack.PyPairSetup, preset), library["pair_style"])
                self.assertEqual(args.explicit_lb, library["explicit_lb"])
                self.assertEqual(not args.no_input, library["input_script"])
                run_settings = ("temperature", "pressure", "timestep", "steps")
                for name in run_settings:
                    self.assertEqual(getattr(args, name), library[name], name)
                self.assertEqual(os.fspath(args.force_field), library["force_field"])
                self.assertEqual(os.fspath(args.out_dir), library["out_dir"])
                shown = {"--pair-style": args.pair_style, "--force-field": args.force_field,
                         **{f"--{name}": getattr(args, name) for name in run_settings}}
                if command == "pack":
                    self.assertEqual(args.tolerance, library["tolerance"])
                    shown["--tolerance"] = args.tolerance
                result = boxwright(command, "--help")
                self.assertEqual(result.returncode, 0, result.stderr)
                text = " ".join(result.stdout.split())  # argparse wraps lines
                for option, default in shown.items():
                    self.assertRegex(text, rf"{option} .*?\(default: {re.escape(str(default))}\b")
                for option in ("--no-input", "--json"):
                    self.assertIn(option, text)
                # Tip4p finds the water wherever it stands.
                self.assertNotIn("first species", text)

    def test_from_coords_reads_xyz_and_pdb(self):
        # Three decimals, all that a PDB file holds.
        coords = [[round(x, 3) for x in p] for p in lattice_coordinates([(CO2, 2), (BUTANE, 1)])]
        (self.tmp / "mix.xyz").write_text(f"{len(coords)}\ntwo CO2 and a butane\n"
                                          + "".join(f"X {x} {y} {z}\n" for x, y, z in coords))
        # Only the first model of a PDB file counts.
        (self.tmp / "mix.pdb").write_text("REMARK two CO2 and a butane\n" + "".join(
            f"HETATM{n:5d}{'':19}{x:8.3f}{y:8.3f}{z:8.3f}\n" for n, (x, y, z) in enumerate(coords))
            + f"ENDMDL\nHETATM   99{'':19}   9.000   9.000   9.000\nEND\n")
        report = pack.from_coords([CO2, BUTANE], [2, 1], coords, 30.0, force_field=FORCE_FIELD,
                                  out_dir=self.tmp)
        for coords_file in ("mix.xyz", "mix.pdb"):
            with self.subTest(coords_file):
                out = self.tmp / coords_file.replace(".", "_")
                result = boxwright("from-coords", "--species", CO2, BUTANE, "--counts", 2, 1,
                                   "--coords", self.tmp / coords_file, "--box-length", 30,
                                   "--force-field", FORCE_FIELD, "--out-dir", out)
                self.assertEqual((result.returncode, result.stderr), (0, ""))
                self.assertEqual(result.stdout, report.format().replace(str(self.tmp), str(out)))
                for name in ("data.lmp", "forcefield.lmp", "in.lmp"):
                    self.assertEqual(*((d / name).read_text() for d in (out, self.tmp)), name)

    def test_json_report_and_no_input_script(self):
        result = boxwright("pack", "--species", CO2, METHANE, "--counts", 3, 2, "--density", 300,
                           "--force-field", FORCE_FIELD, "--out-dir", self.tmp, "--no-input",
                           "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        report = json.loads(result.stdout)
        self.assertEqual(list(report), ["species", "totals", "box_length", "density",
                                        "net_charge", "min_distance", "warnings", "files",
                                        "packing"])
        self.assertEqual([(s["name"], s["count"]) for s in report["species"]],
                         [("co2", 3), ("methane", 2)])
        self.assertEqual(report["totals"]["atoms"], 11)
        self.assertAlmostEqual(report["density"], 300.0, places=6)
        self.assertEqual(report["files"], [str(self.tmp / n) for n in ("data.lmp", "forcefield.lmp")])
        self.assertFalse((self.tmp / "in.lmp").exists())
        # CO2 is charged: auto chose the Coulomb preset.
        self.assertIn("pair_style lj/cut/coul/long", (self.tmp / "forcefield.lmp").read_text())

    def test_pack_writes_both_files_in_the_working_directory_by_default(self):
        shutil.copy(FORCE_FIELD, self.tmp)
        result = boxwright("pack", "--species", CO2, BUTANE, "--counts", 4, 2, "--density", 400,
                           "--pair-style", "lj-cut-coul-long", "--explicit-lb", cwd=self.tmp)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.startswith("Wrote ./data.lmp\nWrote ./forcefield.lmp\n"))
        self.assertIn("atoms: 20 (", result.stdout)
        forcefield = (self.tmp / "forcefield.lmp").read_text()
        self.assertIn("pair_style lj/cut/coul/long 10.0 10.0\n", forcefield)
        self.assertIn("Explicit LB: true", forcefield)

    def test_every_failure_is_one_line_and_status_1(self):
        (self.tmp / "short.xyz").write_text("3\ncomment\nC 0 0 0\nO 1.16 0 0\n")
        (self.tmp / "coords.gro").write_text("")
        one_co2 = ["--species", CO2, "--counts", 1]
        from_coords = ["from-coords", *one_co2, "--box-length", 20, "--force-field", FORCE_FIELD,
                       "--coords"]
        cases = [
            ([], "the following arguments are required: COMMAND"),
            (["pack", *one_co2, 2, "--density", 500, "--force-field", FORCE_FIELD],
             "--species has 1 entries but --counts has 2 (they must match 1:1)"),
            (["pack", "--species", "a.json", "--counts", -1, "--density", 1],
             "argument --counts: '-1' is negative"),
            (["pack", *one_co2, "--density", "dense"],
             "argument --density: 'dense' is not a finite number"),
            (["from-coords", *one_co2, "--box-length", 0, "--coords", "short.xyz"],
             "argument --box-length: '0' is not a positive finite number"),
            (["pack", *one_co2, "--density", 500, "--force-field", "none.json"],
             "reading none.json: No such file or directory"),
            ([*from_coords, "short.xyz"], "short.xyz: declares 3 atoms but has 2 atom lines"),
            ([*from_coords, "coords.gro"],
             "coords.gro: unknown coordinates format (expected a .xyz or .pdb file)"),
            ([*from_coords, "gone.pdb"], "reading gone.pdb: No such file or directory"),
        ]
        for args, message in cases:
            with self.subTest(message):
                result = boxwright(*args, cwd=self.tmp)
                self.assertEqual((result.returncode, result.stdout), (1, ""))
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                self.assertTrue(result.stderr.startswith(f"boxwright: {message}"), result.stderr)


class PackWrapperTest(unittest.TestCase):
    # The command line calls the wrappers with path objects.
    def test_parameters_extend_the_native_functions(self):
        run_settings = ["input_script", "temperature", "pressure", "timestep", "steps"]
        packing = ["jobs", "seed", "subboxes", "timeout", "progress"]
        for wrapper, native, added in ((pack.packmol, _native.pack_packmol_py, packing),
                                       (pack.from_coords, _native.pack_from_coords_py, [])):
            with self.subTest(wrapper.__name__):
                ours, theirs = (inspect.signature(f).parameters for f in (wrapper, native))
                self.assertEqual(list(ours), list(theirs) + run_settings + added)
                for name in run_settings + added:
                    self.assertEqual(ours[name].kind, inspect.Parameter.KEYWORD_ONLY, name)
                for name, param in theirs.items():  # the text signatures show some as "..."
                    expected = {"pair_style": "auto", "out_dir": ".",
                                "force_field": "force_field.json"}.get(name, param.default)
                    self.assertEqual(ours[name].default, expected, name)

    def test_a_single_path_is_not_split_into_characters(self):
        with self.assertRaises(TypeError) as raised:
            pack.packmol(str(METHANE), [1], 1.0)
        self.assertEqual(raised.exception.args, ("Can't extract `str` to `Vec`",))

