"""The front door: `python -m boxwright`, run as a user runs it, and the boxwright.pack wrappers."""

import inspect
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
                self.assertEqual(getattr(pack.PyPairSetup, cli.PAIR_STYLES[args.pair_style]),
                                 library["pair_style"])
                self.assertEqual(args.explicit_lb, library["explicit_lb"])
                self.assertEqual(os.fspath(args.force_field), library["force_field"])
                self.assertEqual(os.fspath(args.out_dir), library["out_dir"])
                shown = {"--pair-style": args.pair_style, "--force-field": args.force_field}
                if command == "pack":
                    self.assertEqual(args.tolerance, library["tolerance"])
                    shown["--tolerance"] = args.tolerance
                result = boxwright(command, "--help")
                self.assertEqual(result.returncode, 0, result.stderr)
                text = " ".join(result.stdout.split())  # argparse wraps lines
                for option, default in shown.items():
                    self.assertRegex(text, rf"{option} .*?\(default: {re.escape(str(default))}\b")

    def test_from_coords_reads_xyz_and_pdb(self):
        # Three decimals, all that a PDB file holds.
        coords = [[round(x, 3) for x in p] for p in lattice_coordinates([(CO2, 2), (BUTANE, 1)])]
        (self.tmp / "mix.xyz").write_text(f"{len(coords)}\ntwo CO2 and a butane\n"
                                          + "".join(f"X {x} {y} {z}\n" for x, y, z in coords))
        # Only the first model of a PDB file counts.
        (self.tmp / "mix.pdb").write_text("REMARK two CO2 and a butane\n" + "".join(
            f"HETATM{n:5d}{'':19}{x:8.3f}{y:8.3f}{z:8.3f}\n" for n, (x, y, z) in enumerate(coords))
            + f"ENDMDL\nHETATM   99{'':19}   9.000   9.000   9.000\nEND\n")
        summary = _native.pack_from_coords_py([str(CO2), str(BUTANE)], [2, 1], coords, 30.0,
                                              force_field=FORCE_FIELD, out_dir=str(self.tmp))
        for coords_file in ("mix.xyz", "mix.pdb"):
            with self.subTest(coords_file):
                out = self.tmp / coords_file.replace(".", "_")
                result = boxwright("from-coords", "--species", CO2, BUTANE, "--counts", 2, 1,
                                   "--coords", self.tmp / coords_file, "--box-length", 30,
                                   "--force-field", FORCE_FIELD, "--out-dir", out)
                self.assertEqual((result.returncode, result.stderr), (0, ""))
                self.assertEqual(result.stdout, summary.replace(str(self.tmp), str(out)))
                self.assertEqual(*((d / "data.lmp").read_text() for d in (out, self.tmp)))

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
    def test_parameters_mirror_the_native_functions(self):
        for wrapper, native in ((pack.packmol, _native.pack_packmol_py),
                                (pack.from_coords, _native.pack_from_coords_py)):
            with self.subTest(wrapper.__name__):
                ours, theirs = (inspect.signature(f).parameters for f in (wrapper, native))
                self.assertEqual(list(ours), list(theirs))
                for name, param in theirs.items():  # the text signatures show some as "..."
                    expected = {"pair_style": _native.PyPairSetup.LjCut, "out_dir": ".",
                                "force_field": "force_field.json"}.get(name, param.default)
                    self.assertEqual(ours[name].default, expected, name)

    def test_a_single_path_is_not_split_into_characters(self):
        with self.assertRaises(TypeError) as raised:
            pack.packmol(str(METHANE), [1], 1.0)
        self.assertEqual(raised.exception.args, ("Can't extract `str` to `Vec`",))

