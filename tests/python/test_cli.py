"""The front door: `python -m boxwright`, run as a user runs it, and the boxwright.pack wrappers."""

import contextlib
import inspect
import io
import json
import os
import re
import shutil
import unittest
from unittest import mock

from boxwright import BuildError, _native, cli, pack
from support import EXAMPLES, FORCE_FIELD, TempDirTestCase, boxwright, lattice_coordinates

CO2, BUTANE, METHANE = EXAMPLES / "co2.json", EXAMPLES / "butane.json", EXAMPLES / "methane.json"
WATER = EXAMPLES / "water.json"


def write_mixture_files(directory, coords):
    """The coordinates as an XYZ file and as a PDB file (first model only) with names."""
    names = ["C_co2", "O_co2", "O_co2"] * 2 + ["CH3", "CH2", "CH2", "CH3"]
    (directory / "mix.xyz").write_text(f"{len(coords)}\ntwo CO2 and a butane\n" + "".join(
        f"{name} {x} {y} {z}\n" for name, (x, y, z) in zip(names, coords)))
    (directory / "mix.pdb").write_text("REMARK two CO2 and a butane\n" + "".join(
        f"HETATM{n:5d} {name[:4]:<4}{'':14}{x:8.3f}{y:8.3f}{z:8.3f}\n"
        for n, (name, (x, y, z)) in enumerate(zip(names, coords)))
        + f"ENDMDL\nHETATM   99{'':19}   9.000   9.000   9.000\nEND\n")


class CommandLineTest(TempDirTestCase):
    def test_help_explains_every_option_with_default_or_unit(self):
        for command, needles in (
                ("pack", ["--species", "--counts", "--density", "kg/m³", "--force-field",
                          "else force_field.json in the current directory", "--out-dir",
                          "--pair-style",
                          "{auto,tip4p,lj-cut,lj-cut-coul-long,none}", "default: auto",
                          "--explicit-lb", "default: off", "--tolerance", "Å (default: 2.0)"]),
                ("from-coords", ["--coords", ".xyz", ".pdb", ".data/.lmp", "--box-length", "Å",
                                 "default: the cubic box the file states", "--species",
                                 "--pair-style", "--check-names", "--no-check-names",
                                 "--no-check-bonds", "25%"])):
            with self.subTest(command):
                result = boxwright(command, "--help")
                self.assertEqual(result.returncode, 0, result.stderr)
                text = " ".join(result.stdout.split())  # argparse wraps lines
                for needle in needles:
                    self.assertIn(needle, text)

    def test_parser_and_help_keep_the_library_defaults(self):
        # A default lives in the wrappers' signatures, the parser and the help text; taken from the
        # first, a default changed in only one of them fails here.
        for command, wrapper, required in (
                ("pack", pack.packmol, ["--density", "1"]),
                ("from-coords", pack.from_coords, ["--coords", "c.xyz"])):
            with self.subTest(command):
                library = {n: p.default for n, p in inspect.signature(wrapper).parameters.items()}
                args = cli.build_parser().parse_args(
                    [command, "--species", "a.json", "--counts", "1", *required])
                self.assertEqual(pack.PAIR_STYLES[args.pair_style], library["pair_style"])
                self.assertEqual(args.explicit_lb, library["explicit_lb"])
                self.assertEqual(not args.no_input, library["input_script"])
                run_settings = ("temperature", "pressure", "timestep", "steps")
                for name in run_settings:
                    self.assertEqual(getattr(args, name), library[name], name)
                for name in ("cutoff", "coulomb_cutoff", "kspace_accuracy"):
                    self.assertEqual(getattr(args, name), library[name], name)
                self.assertEqual(args.force_field, library["force_field"])
                self.assertEqual(os.fspath(args.out_dir), library["out_dir"])
                shown = {"--pair-style": args.pair_style,
                         **{f"--{name}": getattr(args, name) for name in run_settings}}
                if command == "pack":
                    self.assertEqual(args.tolerance, library["tolerance"])
                    shown["--tolerance"] = args.tolerance
                else:
                    self.assertEqual(args.box_length, library["box_len"])
                    self.assertEqual(args.check_names, library["check_names"])
                result = boxwright(command, "--help")
                self.assertEqual(result.returncode, 0, result.stderr)
                text = " ".join(result.stdout.split())  # argparse wraps lines
                for option, default in shown.items():
                    self.assertRegex(text, rf"{option} .*?\(default: {re.escape(str(default))}\b")
                for option in ("--no-input", "--json"):
                    self.assertIn(option, text)
                # Tip4p finds the water wherever it stands.
                self.assertNotIn("first species", text)

    def test_preset_names_are_the_packages(self):
        self.assertEqual(cli.PAIR_STYLE_NAMES, tuple(pack.PAIR_STYLES))

    # Each file gives the files of a buffer call on the same coordinates, byte for byte; the
    # report on standard output, and nothing on standard error (in.lmp holds CO2's rigid bond and
    # angle, so their placeholders are notes).
    def test_from_coords_reads_xyz_pdb_and_data_files(self):
        # Three decimals, all that a PDB file holds.
        coords = [[round(x, 3) for x in p] for p in lattice_coordinates([(CO2, 2), (BUTANE, 1)])]
        write_mixture_files(self.tmp, coords)
        report = pack.from_coords([CO2, BUTANE], [2, 1], coords, 30.0, force_field=FORCE_FIELD,
                                  out_dir=self.tmp)
        self.assertEqual(report.warnings, ())
        shutil.copy(self.tmp / "data.lmp", self.tmp / "given.lmp")  # states its box: 30
        head = report.format(warnings=False)
        warnings = "".join(f"warning: {w}\n" for w in report.warnings)
        for coords_file, box in (("mix.xyz", [30]), ("mix.pdb", [30]), ("given.lmp", [])):
            with self.subTest(coords_file):
                out = self.tmp / coords_file.replace(".", "_")
                result = boxwright("from-coords", "--species", CO2, BUTANE, "--counts", 2, 1,
                                   "--coords", self.tmp / coords_file,
                                   *(["--box-length", *box] if box else []),
                                   "--force-field", FORCE_FIELD, "--out-dir", out)
                self.assertEqual((result.returncode, result.stderr), (0, warnings))
                self.assertEqual(result.stdout, head.replace(str(self.tmp), str(out)))
                for name in ("data.lmp", "forcefield.lmp", "in.lmp"):
                    self.assertEqual(*((d / name).read_text() for d in (out, self.tmp)), name)

    # Every warning is shown once, even where Python shows every BuildWarning too. The mixture
    # is given by composition: 0.6 and 0.4 of 5 molecules are 3 and 2.
    def test_json_report_and_no_input_script(self):
        result = boxwright("pack", "--species", CO2, METHANE, "--mole-fractions", 0.6, 0.4,
                           "--molecules", 5, "--density", 300,
                           "--force-field", FORCE_FIELD, "--out-dir", self.tmp, "--no-input",
                           "--json", env={"PYTHONWARNINGS": "always::boxwright.BuildWarning"})
        self.assertEqual(result.returncode, 0, result.stderr)
        report = json.loads(result.stdout)
        self.assertEqual(list(report), ["species", "atom_types", "totals", "box_length", "density",
                                        "net_charge", "min_distance", "warnings",
                                        "diagnostics", "files", "packing"])
        self.assertEqual([(s["name"], s["count"]) for s in report["species"]],
                         [("co2", 3), ("methane", 2)])
        self.assertEqual(report["totals"]["atoms"], 11)
        self.assertIn({"kind": "composition", "level": "note",
                       "text": "mole fractions 0.6, 0.4 of 5 molecules give counts 3, 2 (5 \u00d7 "
                       "x = 3.00, 2.00, rounded to whole molecules that sum to 5)"},
                      report["diagnostics"])
        self.assertAlmostEqual(report["density"], 300.0, places=6)
        self.assertEqual(report["files"], [str(self.tmp / n) for n in ("data.lmp", "forcefield.lmp")])
        self.assertFalse((self.tmp / "in.lmp").exists())
        # CO2 is charged: auto chose the Coulomb preset.
        self.assertIn("pair_style lj/cut/coul/long", (self.tmp / "forcefield.lmp").read_text())
        # The warnings are in the report and on standard error too.
        self.assertEqual(result.stderr, "".join(f"warning: {w}\n" for w in report["warnings"]))

    def test_pack_writes_in_the_working_directory_and_warnings_go_to_stderr(self):
        shutil.copy(FORCE_FIELD, self.tmp)
        result = boxwright("pack", "--species", WATER, BUTANE, "--counts", 4, 2, "--density", 400,
                           "--pair-style", "lj-cut-coul-long", "--explicit-lb", cwd=self.tmp)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.startswith("Wrote ./data.lmp\nWrote ./forcefield.lmp\n"))
        self.assertIn("atoms: 20 (", result.stdout)
        self.assertNotIn("warning", result.stdout)
        warnings = result.stderr.splitlines()
        self.assertTrue(warnings)  # a four-site water run with three sites
        self.assertTrue(all(line.startswith("warning: ") for line in warnings), result.stderr)
        forcefield = (self.tmp / "forcefield.lmp").read_text()
        self.assertIn("pair_style lj/cut/coul/long 10.0 10.0\n", forcefield)
        self.assertIn("Explicit LB: true", forcefield)

    def test_usage_errors_exit_2_with_the_usage_line(self):
        one_co2 = ["--species", CO2, "--counts", 1]
        cases = [
            ([], "the following arguments are required: COMMAND"),
            (["pack", "--species", "a.json", "--counts", -1, "--density", 1],
             "argument --counts: '-1' is negative"),
            (["pack", *one_co2, "--density", "dense"],
             "argument --density: 'dense' is not a finite number"),
            (["from-coords", *one_co2, "--coords", "a.xyz", "--pair-style", "lj"],
             "argument --pair-style: invalid choice: 'lj'"),
            (["from-coords", *one_co2],
             "the following arguments are required: --coords"),
            (["from-coords", *one_co2, "--box-length", 0, "--coords", "short.xyz"],
             "argument --box-length: '0' is not a positive finite number"),
            (["pack", *one_co2, "--density", 1, "--temperature", "nan"],
             "argument --temperature: 'nan' is not a finite number"),
            (["pack", *one_co2, 2, "--density", 1],
             "--species has 1 entries but --counts has 2 (they must match 1:1)"),
            (["pack", "--species", CO2, "--density", 1],
             "one of the arguments --counts --mole-fractions is required"),
            (["pack", *one_co2, "--mole-fractions", 1, "--molecules", 2, "--density", 1],
             "argument --mole-fractions: not allowed with argument --counts"),
            (["pack", *one_co2, "--molecules", 2, "--density", 1],
             "--molecules needs --mole-fractions, not --counts"),
            (["pack", "--species", CO2, "--mole-fractions", 1, "--density", 1],
             "--mole-fractions needs --molecules"),
            (["pack", "--species", CO2, "--mole-fractions", -0.5, "--molecules", 2],
             "argument --mole-fractions: '-0.5' is not a finite number of at least 0"),
            (["from-coords", "--species", CO2, "--mole-fractions", 0.5, 0.5, "--molecules", 2,
              "--coords", "a.xyz"],
             "--species has 1 entries but --mole-fractions has 2 (they must match 1:1)"),
        ]
        for args, message in cases:
            with self.subTest(message):
                result = boxwright(*args, cwd=self.tmp)
                self.assertEqual((result.returncode, result.stdout), (2, ""))
                self.assertTrue(result.stderr.startswith("usage: boxwright"), result.stderr)
                self.assertIn(f"boxwright{' ' + args[0] if args else ''}: error: {message}",
                              result.stderr)

    def test_input_failures_exit_1_with_the_message_on_stderr(self):
        (self.tmp / "short.xyz").write_text("3\ncomment\nC_co2 0 0 0\nO_co2 1.16 0 0\n")
        (self.tmp / "co2.xyz").write_text("3\nLattice=\"20 0 0 0 20 0 0 0 20\"\n"
                                          "C_co2 0 0 0\nO_co2 1.16 0 0\nO_co2 -1.16 0 0\n")
        (self.tmp / "coords.gro").write_text("")
        one_co2 = ["--species", CO2, "--counts", 1, "--force-field", FORCE_FIELD]
        cases = [
            (["pack", *one_co2, "--density", 500, "--temperature", 0],
             "temperature must be a positive number of kelvin, got 0"),
            (["pack", *one_co2[:4], "--density", 500, "--force-field", "none.json"],
             "reading none.json: No such file or directory (os error 2)"),
            (["from-coords", *one_co2, "--coords", "short.xyz"],
             "short.xyz states no cubic box, so the box length must be given"),
            (["from-coords", *one_co2, "--coords", "short.xyz", "--box-length", 20],
             "short.xyz:5: the file ends after 2 of the 3 atoms of its count line"),
            (["from-coords", *one_co2[:3], 2, *one_co2[4:], "--coords", "co2.xyz"],
             "co2.xyz has 3 atoms but the species and counts need 6"),
            (["from-coords", *one_co2, "--coords", "co2.xyz", "--box-length", 21],
             "co2.xyz:2: the file's box edge 20 differs from the box length 21 given"),
            (["from-coords", *one_co2, "--coords", "coords.gro", "--box-length", 20],
             "coords.gro: unknown coordinate format (expected .xyz, .extxyz, .pdb, .data or .lmp)"),
            (["from-coords", *one_co2, "--coords", "gone.pdb", "--box-length", 20],
             "reading gone.pdb: No such file or directory (os error 2)"),
            (["pack", "--species", CO2, "--mole-fractions", 0.9, "--molecules", 2,
              "--density", 500, "--force-field", "none.json"],
             "mole fractions must sum to 1 (within 0.01), but they sum to 0.9"),
        ]
        for args, message in cases:
            with self.subTest(message):
                result = boxwright(*args, cwd=self.tmp)
                self.assertEqual((result.returncode, result.stdout), (1, ""))
                self.assertEqual(result.stderr, f"boxwright: {message}\n")

    def test_element_names_need_the_names_check_off_and_a_wrong_order_the_bond_check(self):
        (self.tmp / "co2.xyz").write_text("3\n\nO 0 0 0\nC 1.16 0 0\nO -1.16 0 0\n")
        args = ["from-coords", "--species", CO2, "--counts", 1, "--force-field", FORCE_FIELD,
                "--coords", "co2.xyz", "--box-length", 20]
        refused = boxwright(*args, cwd=self.tmp)
        self.assertEqual((refused.returncode, refused.stderr),
                         (1, "boxwright: co2.xyz:3: atom 1 is named 'O' but the species and "
                             "counts expect 'C_co2' of co2 there\n"))
        self.assertEqual(boxwright(*args, "--no-check-names", cwd=self.tmp).returncode, 0)
        # In O, C, O order the names cannot tell, the bonds can.
        (self.tmp / "co2.xyz").write_text("3\n\nO 1.16 0 0\nC 0 0 0\nO -1.16 0 0\n")
        refused = boxwright(*args, "--no-check-names", cwd=self.tmp)
        self.assertEqual((refused.returncode, refused.stderr),
                         (1, "boxwright: coordinates do not fit molecule 1 of 'co2': atoms 1 "
                             "(C_co2) and 3 (O_co2) are 2.320 Å apart, the molecule file has "
                             "1.160 Å (check the atom order; --no-check-bonds skips this check)\n"))
        skipped = boxwright(*args, "--no-check-names", "--no-check-bonds", cwd=self.tmp)
        self.assertEqual(skipped.returncode, 0, skipped.stderr)

    # The coordinate file is a FIFO nobody writes to: opening it would block until the timeout.
    def test_inputs_fail_before_the_coordinate_file_is_opened(self):
        os.mkfifo(self.tmp / "never.xyz")
        common = ["from-coords", "--coords", "never.xyz", "--box-length", 20]
        cases = [
            ([*common, "--species", CO2, "--counts", 1, "--force-field", "none.json"],
             "reading none.json: No such file or directory (os error 2)"),
            ([*common, "--species", CO2, "--counts", 0, "--force-field", FORCE_FIELD],
             "all species have count 0; nothing to build"),
        ]
        for args, message in cases:
            with self.subTest(message):
                result = boxwright(*args, cwd=self.tmp)
                self.assertEqual((result.returncode, result.stderr), (1, f"boxwright: {message}\n"))

    # A stand-in packmol that fails without output: the failure keeps every line of its note.
    def test_packmol_failure_keeps_its_lines(self):
        bin_dir = self.tmp / "bin"
        bin_dir.mkdir()
        (bin_dir / "packmol").write_text("#!/bin/sh\necho 'first line'\necho 'second line'\n"
                                         "echo 'on stderr' >&2\nexit 3\n")
        (bin_dir / "packmol").chmod(0o755)
        result = boxwright("pack", "--species", CO2, "--counts", 1, "--density", 500,
                           "--force-field", FORCE_FIELD, "--out-dir", self.tmp / "out",
                           env={"PATH": f"{bin_dir}:{os.environ['PATH']}"})
        self.assertEqual(result.returncode, 1)
        lines = result.stderr.splitlines()
        self.assertTrue(lines[0].startswith("boxwright: packmol did not produce the expected "
                                            "output file "), lines)
        self.assertEqual(lines[1:], ["packmol exited with status Some(3):", "stdout:",
                                     "first line", "second line", "", "stderr:", "on stderr", ""])

    # Ten waters at 2500 kg/m³ are more than the real Packmol can place 2 Å apart: the build fails
    # naming the closest pair and writes nothing, unless the imperfect packing is accepted.
    def test_an_imperfect_packing_fails_unless_accepted(self):
        args = ["pack", "--species", WATER, "--counts", 10, "--density", 2500,
                "--force-field", FORCE_FIELD, "--out-dir", self.tmp / "out"]
        refused = boxwright(*args)
        self.assertEqual(refused.returncode, 1)
        self.assertRegex(refused.stderr, r"^boxwright: the packing failed: atoms \d+ and \d+ "
                         r"\(of water \d+ and water \d+\) are 0\.\d{3} Å apart, closer than "
                         r"the packing tolerance of 2 Å; pack at a lower density or with a "
                         r"smaller tolerance, or keep the files anyway with accept_imperfect "
                         r"\(--accept-imperfect\)\npackmol exited with status Some\(173\):")
        self.assertFalse((self.tmp / "out").exists())
        kept = boxwright(*args, "--accept-imperfect")
        self.assertEqual(kept.returncode, 0, kept.stderr)
        self.assertIn("warning: packmol exited with status Some(173):", kept.stderr)
        self.assertIn(", closer than the packing tolerance of 2 Å\n", kept.stderr)

    # Only the build's BuildError and OSError are the package's own failures.
    def test_faults_of_the_program_keep_their_traceback(self):
        args = ["from-coords", "--species", str(CO2), "--counts", "1", "--coords", "a.xyz"]
        for raised, caught in ((BuildError("bad input"), True), (OSError(5, "I/O error"), True),
                               (RuntimeError("a bug"), False), (ValueError("a bug"), False),
                               (RecursionError(), False)):
            with self.subTest(raised=raised), mock.patch.object(pack, "_from_coords",
                                                                side_effect=raised):
                stderr = io.StringIO()
                with contextlib.redirect_stderr(stderr):
                    if caught:
                        self.assertEqual(cli.main(args), 1)
                        self.assertEqual(stderr.getvalue(), f"boxwright: {raised}\n")
                    else:
                        self.assertRaises(type(raised), cli.main, args)


class PackWrapperTest(TempDirTestCase):
    # The command line calls the wrappers with path objects and preset names.
    def test_parameters_extend_the_native_functions(self):
        run_settings = ["input_script", "temperature", "pressure", "timestep", "steps", "cutoff",
                        "coulomb_cutoff", "kspace_accuracy"]
        packing = ["jobs", "seed", "subboxes", "timeout", "progress", "accept_imperfect", "strict"]
        composition = ["mole_fractions", "molecules"]
        for wrapper, native, added in ((pack.packmol, _native.pack_packmol_py,
                                        run_settings + packing + composition),
                                       (pack.from_coords, _native.pack_from_coords_py,
                                        run_settings + ["check_names", "check_bonds", "strict"]
                                        + composition)):
            with self.subTest(wrapper.__name__):
                ours, theirs = (inspect.signature(f).parameters for f in (wrapper, native))
                self.assertEqual(list(ours), list(theirs) + added)
                for name in added:
                    self.assertEqual(ours[name].kind, inspect.Parameter.KEYWORD_ONLY, name)
                for name, param in theirs.items():  # the text signatures show some as "..."
                    expected = {"pair_style": "auto", "out_dir": ".",
                                "force_field": None}.get(name, param.default)
                    if name in ("box_len", "counts", "density", "coords"):
                        # A coordinate file may state the box, and mole fractions stand in for
                        # the counts; which makes the parameters after counts optional too.
                        expected = None
                    self.assertEqual(ours[name].default, expected, name)

    def test_friendly_arguments(self):
        built = pack.from_coords(METHANE, [2], [[0, 0, 0], [5, 0, 0]], 10, "none",
                                 force_field=EXAMPLES / "force_field.json", out_dir=self.tmp)
        self.assertIn("atoms: 2 (1 types)", str(built))
        self.assertIsNone(built.pair_style)
        # Every name builds with the preset it stands for; uncharged methane makes "auto" LjCut.
        written = {"auto": "LjCut", "tip4p": "Tip4p", "lj-cut": "LjCut",
                   "lj-cut-coul-long": "LjCutCoulLong", "none": None}
        for name in pack.PAIR_STYLES:
            built = pack.from_coords(METHANE, [2], [[0, 0, 0], [5, 0, 0]], 10, name,
                                     force_field=EXAMPLES / "force_field.json",
                                     out_dir=self.tmp / name)
            self.assertEqual(built.pair_style, written[name], name)

    def test_other_arguments_say_what_is_expected(self):
        names = "'auto', 'tip4p', 'lj-cut', 'lj-cut-coul-long', 'none'"
        row = dict(counts=[1], coords=[[0, 0, 0]], box_len=10.0)
        cases = [
            (dict(species=[METHANE, 7]), TypeError,
             "species[1] must be a path (str or os.PathLike), not int"),
            (dict(species=b"methane.json"), TypeError,
             "species must be a path or a sequence of paths (str or os.PathLike), not bytes"),
            (dict(species=METHANE, pair_style="lj"), ValueError,
             f"pair_style 'lj' is not a preset; expected one of {names}"),
            (dict(species=METHANE, pair_style=1), TypeError,
             f"pair_style must be a PyPairSetup, None or one of {names}, not int"),
            (dict(species=METHANE, force_field=7), TypeError,
             "force_field must be a path (str or os.PathLike), not int"),
            (dict(species=METHANE, box_len=None), TypeError,
             "from_coords() needs box_len unless coords is a file that states a box"),
        ]
        for given, error, message in cases:
            with self.subTest(given=given), self.assertRaises(error) as raised:
                pack.from_coords(**{**row, **given})
            self.assertEqual(raised.exception.args, (message,))
