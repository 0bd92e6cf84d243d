"""The option table walked through every layer: a declared option missing from the command line,
the package's or the engine's signature, the settings check or docs/options.md fails here."""

import ast
import inspect
import json
import re
from unittest import mock

from boxwright import BuildError, _engine, cli, pack
from support import (EXAMPLES, FORCE_FIELD, SOURCE_DIR, TempDirTestCase, boxwright,
                     lattice_coordinates)

METHANE, WATER = EXAMPLES / "methane.json", EXAMPLES / "water.json"
TABLE = cli.option_table()
RUN_KINDS = ("run", "pair")
PACKING_KINDS = ("run", "pair", "packing", "split-packing")
COORDS_KINDS = ("run", "pair", "coordinates")

# A value of each type that every option of the type refuses (a count over LAMMPS's steps, a
# split-box setting without jobs), and what the refusal needs beside it.
REFUSED = {"number": "nan", "optional-number": "nan", "count": "3000000000",
           "optional-int": "-1", "optional-count": "1", "optional-grid": "1,1,1", "choice": "psi"}
# An option refused by a value other than its type's.
REFUSED_OPTION = {"frame": "0"}


def python_default(option):
    return None if option.default == "" else ast.literal_eval(option.default)


def table_options(*kinds):
    return [option for option in TABLE if option.kind in kinds]


class OptionTableTest(TempDirTestCase):
    # from_coords leaves the settings a final.data's in.lmp gives at DEFAULT, not given.
    def test_every_option_is_in_the_signatures_with_the_table_default(self):
        wrappers = {pack.packmol: table_options(*PACKING_KINDS),
                    pack.from_coords: table_options(*COORDS_KINDS),
                    pack.raspa: table_options(*RUN_KINDS),
                    _engine.build_packmol: table_options(*PACKING_KINDS),
                    _engine.build_from_coords: table_options(*COORDS_KINDS)}
        for function, options in wrappers.items():
            parameters = inspect.signature(function).parameters
            for option in options:
                with self.subTest(function=function.__name__, option=option.name):
                    self.assertIn(option.name, parameters)
                    default = parameters[option.name].default
                    if function is pack.from_coords and option.name in pack.SETTINGS_BESIDE:
                        self.assertIs(default, pack.DEFAULT)
                    elif default is not inspect.Parameter.empty:
                        self.assertEqual(default, python_default(option))
        self.assertEqual(tuple(pack.PAIR_STYLES), _engine.preset_names())
        self.assertEqual(repr(pack.DEFAULT), "DEFAULT")

    # Each option given to a wrapper reaches the engine as given.
    def test_the_wrappers_pass_every_option_on(self):
        class Stop(Exception):
            pass

        def engine(*args, **keywords):
            raise Stop(keywords)

        for wrapper, engine_name, kinds, given in (
                (pack.packmol, "build_packmol", PACKING_KINDS, {"density": 1.0}),
                (pack.from_coords, "build_from_coords", COORDS_KINDS, {"coords": "c.xyz"})):
            markers = {option.name: object() for option in table_options(*kinds)
                       if option.default != ""}
            with self.subTest(wrapper.__name__), mock.patch.object(pack, engine_name, engine):
                with self.assertRaises(Stop) as stopped:
                    wrapper(METHANE, [1], **given, force_field=FORCE_FIELD, **markers)
                passed = stopped.exception.args[0]
                for name, marker in markers.items():
                    self.assertIs(passed.get(name), marker, name)

    def test_every_option_is_on_the_command_line_and_in_its_help(self):
        for command, kinds, given in (("pack", PACKING_KINDS, ["--density", "1"]),
                                      ("from-coords", COORDS_KINDS, ["--coords", "c"])):
            args = vars(cli.build_parser().parse_args(
                [command, "--species", "a.json", "--counts", "1", *given]))
            text = " ".join(boxwright(command, "--help").stdout.split())
            for option in TABLE:
                if option.kind not in kinds:
                    continue
                with self.subTest(command=command, option=option.name):
                    if option.default != "":
                        self.assertEqual(args[option.name], python_default(option))
                    words = (f"({option.default_words})" if option.default == ""
                             else f"(default: {option.default_words})")
                    self.assertIn(f"{option.flag} {option.metavar} ", text)
                    self.assertIn(" ".join(words.split()), text)

    def test_the_docs_table_lists_every_option_in_order(self):
        page = (SOURCE_DIR / "docs" / "options.md").read_text(encoding="utf-8")
        rows = re.findall(r"^\| `(--[\w-]+) [^`]*` \| `(\w+)=` \|", page, re.M)
        self.assertEqual(rows, [(option.flag, option.name) for option in TABLE])

    # Each option refused by the build before the missing force field is opened, named in the
    # caller's words: the command line's as a usage error, Python's as a BuildError.
    def test_each_option_is_checked_before_any_file_and_named_by_its_caller(self):
        for option in TABLE:
            value = REFUSED_OPTION.get(option.name, REFUSED[option.type])
            # The packing's options through pack, the coordinate file's through from-coords.
            command, given, build = (
                ("pack", ["--density", 500],
                 lambda **kw: pack.packmol(METHANE, [1], **{"density": 500.0, **kw}))
                if option.kind in PACKING_KINDS else
                ("from-coords", ["--coords", "missing.xyz"],
                 lambda **kw: pack.from_coords(METHANE, [1], self.tmp / "missing.xyz", **kw)))
            with self.subTest(option.name):
                result = boxwright(command, "--species", METHANE, "--counts", 1, *given,
                                   "--force-field", "missing.json", f"{option.flag}={value}",
                                   cwd=self.tmp)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertRegex(result.stderr.splitlines()[-1],
                                 rf"^boxwright {command}: error: .*{re.escape(option.flag)}\b")
                self.assertNotIn(option.name if "_" in option.name else "\0", result.stderr)
                converted = cli._CONVERSIONS[option.type](value)
                # A word that names no choice is a wrong argument, as a preset's name is.
                refusal = ValueError if option.type == "choice" else BuildError
                with self.assertRaises(refusal) as raised:
                    build(force_field=self.tmp / "missing.json", out_dir=self.tmp,
                          **{option.name: converted})
                self.assertEqual(raised.exception.option, option.name)
                self.assertNotIn("--", str(raised.exception))
                self.assertFalse((self.tmp / "data.lmp").exists())

    # Outside the plausible range a run setting is built with a warning in the report, which a
    # strict build refuses before anything is written (a cutoff: under the build's largest σ).
    def test_implausible_run_settings_warn_in_the_report(self):
        coords = lattice_coordinates([(WATER, 2)])
        cases = [("temperature", 20000.0), ("pressure", -2e5), ("timestep", 6.0),
                 ("kspace_accuracy", 1e-9), ("cutoff", 2.0)]  # under water's σ of O
        for name, value in cases:
            with self.subTest(name):
                report = pack.from_coords(WATER, [2], coords, 20.0, force_field=FORCE_FIELD,
                                          out_dir=self.tmp, **{name: value})
                warned = [d.text for d in report.diagnostics if d.kind == "setting"]
                self.assertEqual(len(warned), 1, report.diagnostics)
                self.assertTrue(warned[0].startswith(f"{name} "), warned)
                with self.assertRaises(BuildError):
                    pack.from_coords(WATER, [2], coords, 20.0, force_field=FORCE_FIELD,
                                     out_dir=self.tmp / "strict", strict=True, **{name: value})
                self.assertFalse((self.tmp / "strict").exists())

    # A pressure is checked in atm and told in its own unit; the dampings against the timestep.
    def test_settings_checked_in_another_unit_or_against_another_setting(self):
        coords = lattice_coordinates([(WATER, 2)])
        refused, warned, accepted = "refused", "warned", "accepted"
        cases = [
            ({"pressure": 2e5, "pressure_unit": "MPa"}, refused,
             "pressure must be a number of MPa from -101325 to 101325, got 200000"),
            ({"pressure": -1.1e12, "pressure_unit": "Pa"}, refused,
             "pressure must be a number of Pa from -101325000000 to 101325000000, got "
             "-1100000000000"),
            ({"pressure": 2e4, "pressure_unit": "MPa"}, warned,
             "pressure 20000 MPa: beyond the 10132.5 MPa of any liquid or dense gas (a slip of "
             "unit or digit?)"),
            ({"pressure": 1.01e5, "pressure_unit": "bar"}, accepted, ""),  # 99,679 atm
            ({"thermostat_damping": 2.0}, refused,
             "thermostat_damping must be more than twice timestep (1 fs), got 2"),
            ({"barostat_damping": 5.0, "timestep": 2.5}, refused,
             "barostat_damping must be more than twice timestep (2.5 fs), got 5"),
            ({"thermostat_damping": 5.0}, warned,
             "thermostat_damping 5 fs: outside the 10 fs to 100,000 fs in which a thermostat "
             "holds the temperature without overdamping the motion (100 fs is usual)"),
        ]
        for settings, outcome, text in cases:
            with self.subTest(**settings):
                build = lambda: pack.from_coords(WATER, [2], coords, 20.0, force_field=FORCE_FIELD,
                                                 out_dir=self.tmp, **settings)
                if outcome == refused:
                    with self.assertRaises(BuildError) as raised:
                        build()
                    self.assertEqual(str(raised.exception), text)
                    continue
                warnings = [d.text for d in build().diagnostics if d.kind == "setting"]
                self.assertEqual(warnings, [text] if text else [])

    # The force field's cutoff is the cutoff option's default, held to the same range.
    def test_the_force_fields_cutoff_has_the_cutoff_options_range(self):
        force_field = json.loads(open(FORCE_FIELD, encoding="utf-8").read())
        for cutoff in (0, -5, 1e300):
            with self.subTest(cutoff):
                path = self.tmp / "ff.json"
                path.write_text(json.dumps({**force_field, "CutOffVDW": cutoff}))
                with self.assertRaises(BuildError) as raised:
                    pack.from_coords(METHANE, [1], [[0, 0, 0]], 30.0, force_field=path,
                                     out_dir=self.tmp / "out")
                self.assertIn("CutOffVDW", str(raised.exception))
