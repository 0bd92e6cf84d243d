"""The front door: `python -m boxwright`, run as a user runs it, and the boxwright.pack wrappers."""

import contextlib
import inspect
import io
import json
import os
import re
import shutil
from unittest import mock

from boxwright import BuildError, cli, pack
from support import (EXAMPLES, FORCE_FIELD, TempDirTestCase, boxwright, lattice_coordinates,
                     stand_in_packmol)

CO2, BUTANE, METHANE = EXAMPLES / "co2.json", EXAMPLES / "butane.json", EXAMPLES / "methane.json"
WATER = EXAMPLES / "water.json"


class CommandLineTest(TempDirTestCase):
    # A default lives in the wrappers' signatures, the parser and the help text; taken from the
    # first, a default changed in only one of them fails here.
    def test_parser_and_help_keep_the_library_defaults(self):
        for command, wrapper, given in (("pack", pack.packmol, ["--density", "1"]),
                                        ("from-coords", pack.from_coords, ["--coords", "c"])):
            with self.subTest(command):
                library = {n: p.default for n, p in inspect.signature(wrapper).parameters.items()}
                args = vars(cli.build_parser().parse_args(
                    [command, "--species", "a.json", "--counts", "1", *given]))
                parsed = {**args, "pair_style": pack.PAIR_STYLES[args["pair_style"]],
                          "input_script": not args["no_input"],
                          "out_dir": os.fspath(args["out_dir"]), "box_len": args.get("box_length")}
                for name in sorted(library.keys() & parsed.keys() - {"species", "counts",
                                                                       "density", "coords"}):
                    if library[name] is not pack.DEFAULT:  # not given: see test_options
                        self.assertEqual(parsed[name], library[name], name)
                text = " ".join(boxwright(command, "--help").stdout.split())  # argparse wraps
                for name in ("pair_style", "temperature", "pressure", "timestep", "steps",
                             *(["tolerance"] if command == "pack" else [])):
                    self.assertRegex(text, rf"--{name.replace('_', '-')} .*?\(default: "
                                           rf"{re.escape(str(args[name]))}\b")
                # Tip4p finds the water wherever it stands.
                self.assertNotIn("first species", text)

    # A coordinate file gives the files of a buffer call on the same coordinates, byte for byte;
    # the report on standard output, and nothing on standard error (in.lmp holds CO2's rigid bond
    # and angle, so their placeholders are notes). A data file states its box, an XYZ file not.
    def test_from_coords_reads_a_coordinate_file(self):
        coords = lattice_coordinates([(CO2, 2), (BUTANE, 1)])
        names = ["C_co2", "O_co2", "O_co2"] * 2 + ["CH3", "CH2", "CH2", "CH3"]
        (self.tmp / "mix.xyz").write_text(f"{len(coords)}\ntwo CO2 and a butane\n" + "".join(
            f"{name} {x} {y} {z}\n" for name, (x, y, z) in zip(names, coords)))
        report = pack.from_coords([CO2, BUTANE], [2, 1], coords, 30.0, force_field=FORCE_FIELD,
                                  out_dir=self.tmp)
        shutil.copy(self.tmp / "data.lmp", self.tmp / "given.lmp")
        for coords_file, box in (("mix.xyz", [30]), ("given.lmp", [])):
            with self.subTest(coords_file):
                out = self.tmp / coords_file.replace(".", "_")
                result = boxwright("from-coords", "--species", CO2, BUTANE, "--counts", 2, 1,
                                   "--coords", self.tmp / coords_file,
                                   *(["--box-length", *box] if box else []),
                                   "--force-field", FORCE_FIELD, "--out-dir", out)
                self.assertEqual((result.returncode, result.stderr), (0, ""))
                self.assertEqual(result.stdout, report.format().replace(str(self.tmp), str(out)))
                for name in ("data.lmp", "forcefield.lmp", "in.lmp"):
                    self.assertEqual(*((d / name).read_text() for d in (out, self.tmp)), name)

    # Every warning is shown once, even where Python shows every BuildWarning too. The mixture
    # is given by composition: 0.6 and 0.4 of 5 molecules are 3 and 2.
    def test_json_report_and_no_input_script(self):
        result = self.boxwright_ok(
            "pack", "--species", CO2, METHANE, "--mole-fractions", 0.6, 0.4, "--molecules", 5,
            "--density", 300, "--force-field", FORCE_FIELD, "--out-dir", self.tmp, "--no-input",
            "--json", env={"PYTHONWARNINGS": "always::boxwright.BuildWarning"})
        report = json.loads(result.stdout)
        self.assertIn({"kind": "composition", "level": "note",
                       "text": "mole fractions 0.6, 0.4 of 5 molecules give counts 3, 2 (5 \u00d7 "
                       "x = 3.00, 2.00, rounded to whole molecules that sum to 5)"},
                      report["diagnostics"])
        self.assertAlmostEqual(report["density"], 300.0, places=6)
        self.assertEqual(report["files"], [str(self.tmp / n) for n in ("data.lmp", "forcefield.lmp")])
        self.assertFalse((self.tmp / "in.lmp").exists())
        # The warnings are in the report and on standard error too.
        self.assertEqual(result.stderr, "".join(f"warning: {w}\n" for w in report["warnings"]))

    def test_pack_writes_in_the_working_directory_and_warnings_go_to_stderr(self):
        shutil.copy(FORCE_FIELD, self.tmp)
        result = self.boxwright_ok("pack", "--species", WATER, BUTANE, "--counts", 4, 2,
                                   "--density", 400, "--pair-style", "lj-cut-coul-long",
                                   "--explicit-lb", cwd=self.tmp)
        self.assertTrue(result.stdout.startswith("Wrote ./data.lmp\nWrote ./forcefield.lmp\n"))
        self.assertNotIn("warning", result.stdout)
        warnings = result.stderr.splitlines()
        self.assertTrue(warnings)  # a four-site water run with three sites
        self.assertTrue(all(line.startswith("warning: ") for line in warnings), result.stderr)
        forcefield = (self.tmp / "forcefield.lmp").read_text()
        self.assertIn("pair_style lj/cut/coul/long 10.0 10.0\n", forcefield)
        self.assertIn("Explicit LB: true", forcefield)

    # Usage errors exit 2 under the usage line, input failures 1 with the message alone. The
    # inputs are checked before the coordinate file is opened: never.xyz is a FIFO nobody writes
    # to, which would block until the timeout.
    def test_refusals_exit_2_for_usage_and_1_for_inputs(self):
        (self.tmp / "short.xyz").write_text("3\ncomment\nC_co2 0 0 0\nO_co2 1.16 0 0\n")
        os.mkfifo(self.tmp / "never.xyz")
        one_co2 = ["--species", CO2, "--counts", 1]
        usage = [
            (["pack", "--species", "a.json", "--counts", -1, "--density", 1],
             "argument --counts: '-1' is not a whole number of at least 0"),
            (["pack", *one_co2, "--density", "dense"],
             "argument --density: 'dense' is not a number"),
            (["from-coords", *one_co2, "--box-length", 0, "--coords", "short.xyz"],
             "argument --box-length: '0' is not a positive finite number"),
            (["pack", *one_co2, "--density", 1, "--jobs", 1, "--subboxes", "2x2"],
             "argument --subboxes: '2x2' is not three whole numbers NX,NY,NZ"),
            (["pack", *one_co2, "--density", 1, "--jobs", 1, "--subboxes", "2,1,4294967296"],
             "argument --subboxes: '4294967296' is more than 4294967295"),
            (["pack", *one_co2, 2, "--density", 1],
             "--species has 1 entry but --counts has 2 entries (one count per species)"),
            (["pack", *one_co2, "--molecules", 2, "--density", 1],
             "--molecules needs --mole-fractions, not --counts"),
            (["pack", "--species", CO2, "--mole-fractions", 1, "--density", 1],
             "--mole-fractions needs --molecules"),
            (["pack", "--species", CO2, "--mole-fractions", -0.5, "--molecules", 2,
              "--density", 1], "--mole-fractions[0] must be 0 or more, got -0.5"),
            # What only the build checks is a bad command line all the same, in its words.
            (["pack", *one_co2, "--density", 1, "--cutoff", 0],
             "--cutoff must be a number of ångström from 1 to 100, got 0"),
            (["pack", *one_co2, "--density", 1, "--cutoff", "nan"],
             "--cutoff must be a number of ångström from 1 to 100, got NaN"),
            (["pack", *one_co2, "--density", 1, "--kspace-accuracy", "-1e-4"],
             "--kspace-accuracy must be a relative error above 1e-12 and below 1, got -0.0001"),
            (["pack", *one_co2, "--density", 1, "--jobs", -1],
             "--jobs must be 0 (one per core) or a positive number, got -1"),
            (["pack", *one_co2, "--density", 1, "--pressure", "-5MPa", "--pressure-unit", "bar"],
             "--pressure -5 MPa has a unit of its own: give --pressure-unit or a unit after the "
             "number, not both"),
            (["pack", *one_co2, "--density", 1, "--pressure", "5 psi"],
             "--pressure-unit must be one of atm, bar, kPa, MPa, Pa, got \"psi\""),
            (["pack", *one_co2, "--density", 1, "--pressure", "2e5MPa"],
             "--pressure must be a number of MPa from -101325 to 101325, got 200000"),
            (["pack", *one_co2, "--density", 1, "--timestep", 2, "--barostat-damping", 4],
             "--barostat-damping must be more than twice --timestep (2 fs), got 4"),
            (["pack", *one_co2, "--density", 1, "--coulomb-cutoff", 12, "--pair-style", "lj-cut"],
             "--coulomb-cutoff needs a pair style with a Coulomb term; LjCut has none"),
            (["pack", "--species", CO2, "--mole-fractions", 1, "--molecules", "1_0"],
             "argument --molecules: '1_0' is not a whole number of at least 0"),
            (["pack", "--species", CO2, "--counts", "\u0661", "--density", 1],
             "argument --counts: '\u0661' is not a whole number of at least 0"),
        ]
        inputs = [
            (["from-coords", *one_co2, "--force-field", FORCE_FIELD, "--coords", "short.xyz"],
             "short.xyz states no cubic box, so the box length must be given"),
            (["from-coords", "--coords", "never.xyz", "--box-length", 20, *one_co2,
              "--force-field", "none.json"],
             "reading none.json: No such file or directory (os error 2)"),
        ]
        for args, message, status in [(*c, 2) for c in usage] + [(*c, 1) for c in inputs]:
            with self.subTest(message):
                result = boxwright(*args, cwd=self.tmp)
                self.assertEqual((result.returncode, result.stdout), (status, ""))
                if status == 2:
                    self.assertTrue(result.stderr.startswith("usage: boxwright"), result.stderr)
                    self.assertIn(f"boxwright {args[0]}: error: {message}", result.stderr)
                else:
                    self.assertEqual(result.stderr, f"boxwright: {message}\n")

    # A rebuild from a final.data goes on with the run settings of the in.lmp beside it, as a
    # user edited them there, unless given; the report's note says where each came from.
    def test_a_final_data_takes_the_run_settings_of_the_in_lmp_beside_it(self):
        run = self.tmp / "run"
        pack.from_coords(METHANE, [2], lattice_coordinates([(METHANE, 2)]), 20.0,
                         force_field=FORCE_FIELD, out_dir=run)
        script = (run / "in.lmp").read_text()
        for name, value in (("temperature", "350"), ("pressure", "5  # MPa"), ("timestep", "2")):
            script = re.sub(rf"(?m)^(variable +{name} index) \S+( +# \S+)?", rf"\1 {value}",
                            script)
        (run / "in.lmp").write_text(script)
        shutil.copy(run / "data.lmp", run / "final.data")
        beside = f"run settings beside the coordinates, in {run / 'in.lmp'}: "
        cases = [
            ([], {}, {"temperature": "350.0", "pressure": "5.0", "timestep": "2.0"}, "MPa",
             "taken temperature 350 K, pressure 5 MPa, timestep 2 fs"),
            (["--temperature", 300, "--pressure-unit", "bar"], {"temperature": 300.0,
                                                                 "pressure_unit": "bar"},
             {"temperature": "300.0", "pressure": "1.0", "timestep": "2.0"}, "bar",
             "taken timestep 2 fs; as given temperature 300 K, pressure 1 bar"),
            (["--pressure", "50 bar", "--timestep", 1], {"pressure": 50.0, "pressure_unit": "bar",
                                                          "timestep": 1.0},
             {"temperature": "350.0", "pressure": "50.0", "timestep": "1.0"}, "bar",
             "taken temperature 350 K; as given pressure 50 bar, timestep 1 fs"),
        ]
        for n, (options, keywords, variables, unit, note) in enumerate(cases):
            for surface in ("command line", "python"):
                out = self.tmp / f"{n}-{surface[0]}"
                with self.subTest(surface=surface, options=options):
                    if surface == "python":
                        report = pack.from_coords(METHANE, [2], run / "final.data",
                                                  force_field=FORCE_FIELD, out_dir=out, **keywords)
                        stdout = report.format()
                    else:
                        stdout = self.boxwright_ok(
                            "from-coords", "--species", METHANE, "--counts", 2, "--coords",
                            run / "final.data", *options, "--force-field", FORCE_FIELD,
                            "--out-dir", out).stdout
                    self.assertIn(f"notes:\n  {beside}{note}\n", stdout)
                    written = (out / "in.lmp").read_text()
                    for name, value in variables.items():
                        self.assertRegex(written, rf"(?m)^variable +{name} index {value} ")
                    self.assertRegex(written, rf"(?m)^variable +pressure index \S+ +# {unit}$")

    # Coordinates marked as equilibrated start without the relaxation of a packed box, alike
    # from the command line and from Python.
    def test_equilibrated_coordinates_skip_the_relaxation(self):
        coords = lattice_coordinates([(METHANE, 2)])
        (self.tmp / "eq.xyz").write_text("2\n\n" + "".join(f"CH4 {x} {y} {z}\n"
                                                             for x, y, z in coords))
        pack.from_coords(METHANE, [2], self.tmp / "eq.xyz", 20.0, force_field=FORCE_FIELD,
                         out_dir=self.tmp / "python", equilibrated=True)
        self.boxwright_ok("from-coords", "--species", METHANE, "--counts", 2, "--coords",
                          self.tmp / "eq.xyz", "--box-length", 20, "--force-field", FORCE_FIELD,
                          "--equilibrated", "--out-dir", self.tmp / "cli")
        script = (self.tmp / "cli" / "in.lmp").read_text()
        self.assertEqual(script, (self.tmp / "python" / "in.lmp").read_text())
        self.assertNotIn("minimize", script)
        self.assertIn("# The positions are an equilibrated fluid's", script)

    # Element symbols need the names check off; in O, C, O order the names cannot tell, the bonds
    # can, and that check is turned off as well. The refusal names the option that skips it.
    def test_element_names_need_the_names_check_off_and_a_wrong_order_the_bond_check(self):
        args = ["from-coords", "--species", CO2, "--counts", 1, "--force-field", FORCE_FIELD,
                "--coords", "co2.xyz", "--box-length", 20]
        for atoms, off, refusal in (
                ("O 0 0 0\nC 1.16 0 0\nO -1.16 0 0", ["--no-check-names"],
                 "co2.xyz:3: atom 1 is named 'O' but the species and counts expect 'C_co2'"),
                ("O 1.16 0 0\nC 0 0 0\nO -1.16 0 0", ["--no-check-names", "--no-check-bonds"],
                 "(check the atom order; --no-check-bonds skips this check)\n")):
            with self.subTest(off=off):
                (self.tmp / "co2.xyz").write_text(f"3\n\n{atoms}\n")
                refused = boxwright(*args, *off[:-1], cwd=self.tmp)
                self.assertEqual(refused.returncode, 1, refused.stderr)
                self.assertTrue(refused.stderr.startswith("boxwright: "), refused.stderr)
                self.assertIn(refusal, refused.stderr)
                self.boxwright_ok(*args, *off, cwd=self.tmp)

    # A stand-in packmol that fails without output: the failure keeps every line of its note.
    def test_packmol_failure_keeps_its_lines(self):
        path = stand_in_packmol(self.tmp, "echo 'first line'\necho 'second line'\n"
                                          "echo 'on stderr' >&2\nexit 3\n")
        result = boxwright("pack", "--species", CO2, "--counts", 1, "--density", 500,
                           "--force-field", FORCE_FIELD, "--out-dir", self.tmp / "out",
                           env={"PATH": path})
        lines = result.stderr.splitlines()
        self.assertTrue(lines[0].startswith("boxwright: packmol did not produce the expected "
                                            "output file "), lines)
        self.assertEqual((result.returncode, lines[1:]),
                         (1, ["packmol exited with status Some(3):", "stdout:", "first line",
                              "second line", "", "stderr:", "on stderr", ""]))

    # Ten waters at 2500 kg/m³ are more than the real Packmol can place 2 Å apart: the build fails
    # naming the closest pair and writes nothing, unless the imperfect packing is accepted.
    def test_an_imperfect_packing_fails_unless_accepted(self):
        args = ["pack", "--species", WATER, "--counts", 10, "--density", 2500,
                "--force-field", FORCE_FIELD, "--out-dir", self.tmp / "out"]
        refused = boxwright(*args)
        self.assertEqual(refused.returncode, 1)
        # The wording is build_test.cpp's; here, that it names the option.
        self.assertRegex(refused.stderr, r"^boxwright: the packing failed: .* Å apart, .* "
                         r"accept_imperfect \(--accept-imperfect\)\npackmol exited with status")
        self.assertFalse((self.tmp / "out").exists())
        kept = self.boxwright_ok(*args, "--accept-imperfect")
        self.assertIn("warning: packmol exited with status Some(173):", kept.stderr)
        self.assertIn(", closer than the packing tolerance of 2 Å\n", kept.stderr)

    # Only the build's BuildError and OSError are the package's own failures.
    def test_faults_of_the_program_keep_their_traceback(self):
        args = ["from-coords", "--species", str(CO2), "--counts", "1", "--coords", "a.xyz"]
        for raised, caught in ((BuildError("bad input"), True), (OSError(5, "I/O error"), True),
                               (RuntimeError("a bug"), False)):
            with self.subTest(raised=raised), mock.patch.object(pack, "_from_coords",
                                                                side_effect=raised):
                with contextlib.redirect_stderr(io.StringIO()) as stderr:
                    if caught:
                        self.assertEqual(cli.main(args), 1)
                        self.assertEqual(stderr.getvalue(), f"boxwright: {raised}\n")
                    else:
                        self.assertRaises(type(raised), cli.main, args)
