"""The command line, `boxwright` (or `python -m boxwright`): the builds of `boxwright.pack`.

    boxwright pack --species co2.json butane.json --counts 50 50 --density 600
    boxwright pack --species co2.json butane.json --mole-fractions 0.2 0.8 --molecules 100 \
        --density 600
    boxwright from-coords --species water.json --counts 216 --coords water.pdb --box-length 18.6
    boxwright raspa --species tip4p2005 --counts 200 --density 997 --pressure none

Both write data.lmp, forcefield.lmp and in.lmp (a LAMMPS input that runs them; --no-input leaves
it out). The build report goes to standard output, readable or, with --json, as one JSON object;
its warnings also go to standard error, as lines "warning: ...", and the readable report leaves
them there alone, each once (the package's BuildWarning is not shown again). A bad command line is
argparse's usage line and message, exit status 2. A failure of the build or of its input files
(boxwright.BuildError, or the operating system's error) is "boxwright: <message>" on standard
error, with every line the message has (Packmol's output included), and exit status 1. Ctrl-C and
SIGTERM stop the build (every Packmol, the work directory removed) with "boxwright: interrupted"
or "boxwright: terminated" and a line on what became of the files, exit status 130 or 143; so do
they at any other moment (while Python imports the package, or the report goes to a slow reader),
without the line on the files when there are none or they are written. Standard output that cannot
take the report is one line too: closed or on a full disk, "boxwright: writing to standard
output: ...", exit status 1; a reader that has gone (a pipe into `head`), "boxwright: standard
output closed by its reader", exit status 141, as a shell reports a writer that SIGPIPE ended.
Nothing else is caught, so a fault of the program itself still shows its traceback.
"""

from __future__ import annotations

import argparse
import ast
import json
import math
import os
import re
import signal
import sys
import warnings
from collections.abc import Sequence
from pathlib import Path
from typing import TYPE_CHECKING, NamedTuple, NoReturn

from .errors import BuildError, BuildWarning, shown_path
from .progress import ProgressLine

if TYPE_CHECKING:
    from .models import Model
    from .report import BuildReport

__all__ = ["PROG", "build_parser", "main"]

PROG = "boxwright"
COUNT_LIMIT = 2**64 - 1
INT_LIMIT = 2**63 - 1
SUBBOX_LIMIT = 2**32 - 1  # along one axis
# What the command line reads as a number: ASCII digits only (never "1_0" or other scripts'
# digits, which Python's int and float take), and the names of infinity and NaN, which the build
# refuses in its own words.
_WHOLE = re.compile(r"[0-9]+")
_SIGNED_WHOLE = re.compile(r"[+-]?[0-9]+")
_REAL = re.compile(r"[+-]?(?:(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?|inf|infinity|nan)",
                   re.IGNORECASE)


class _Version(argparse.Action):
    # argparse's own version action wants the text when the parser is built; reading the
    # installed package's metadata is left for when --version is given.
    def __init__(self, option_strings: Sequence[str], dest: str, **kwargs: object) -> None:
        super().__init__(option_strings, dest, nargs=0, help="print the version and exit")

    def __call__(self, parser: argparse.ArgumentParser, *_: object) -> NoReturn:
        from . import __version__

        print(f"{parser.prog} {__version__}")
        parser.exit()


# --- arguments ---------------------------------------------------------------------------------


def _count(text: str, limit: int = COUNT_LIMIT) -> int:
    if not _WHOLE.fullmatch(text):
        raise argparse.ArgumentTypeError(f"'{text}' is not a whole number of at least 0")
    value = int(text)
    if value > limit:
        raise argparse.ArgumentTypeError(f"'{text}' is more than {limit}")
    return value


def _int(text: str) -> int:
    if not _SIGNED_WHOLE.fullmatch(text):
        raise argparse.ArgumentTypeError(f"'{text}' is not a whole number")
    value = int(text)
    if abs(value) > INT_LIMIT:
        raise argparse.ArgumentTypeError(f"'{text}' is beyond {INT_LIMIT}")
    return value


def _number(text: str) -> float:
    if not _REAL.fullmatch(text):
        raise argparse.ArgumentTypeError(f"'{text}' is not a number")
    return float(text)


def _positive(text: str) -> float:
    value = _number(text)
    if not (math.isfinite(value) and value > 0):
        raise argparse.ArgumentTypeError(f"'{text}' is not a positive finite number")
    return value


def _grid(text: str) -> tuple[int, ...]:
    parts = text.split(",")
    if len(parts) != 3:
        raise argparse.ArgumentTypeError(f"'{text}' is not three whole numbers NX,NY,NZ")
    return tuple(_count(part, SUBBOX_LIMIT) for part in parts)


# A pressure with its unit attached: "5MPa", "50 bar", "-3kPa".
_PRESSURE_WITH_UNIT = re.compile(rf"({_REAL.pattern})\s*([A-Za-z]+)", re.IGNORECASE)


def _pressure(text: str) -> float | tuple[float, str] | None:
    """A pressure in --pressure-unit, none, or one with its own unit (the build checks the unit).

    A word after the number is its unit only when the number is one: "inf" stays infinity.
    """
    if text == "none":
        return None
    with_unit = _PRESSURE_WITH_UNIT.fullmatch(text.strip())
    if with_unit and not _REAL.fullmatch(text.strip()):
        return _number(with_unit[1]), with_unit[2]
    return _number(text)


# The conversion of each type of the option table; the build checks every value's range.
_CONVERSIONS = {"number": _number, "optional-number": _number, "count": _count,
                "optional-count": _count, "optional-int": _int, "optional-grid": _grid,
                "choice": str}


class _Given(argparse.Action):
    """Stores an option's value and notes that it was given: a rebuild from a final.data takes
    the run settings that were not from the in.lmp beside it."""

    def __call__(self, parser: argparse.ArgumentParser, namespace: argparse.Namespace,
                 values: object, option_string: str | None = None) -> None:
        setattr(namespace, self.dest, values)
        namespace.given = getattr(namespace, "given", frozenset()) | {self.dest}


def option_table() -> list[Option]:
    """The build's options, declared once in the core (`_engine.option_table()`)."""
    from . import _engine

    return [Option(*row) for row in _engine.option_table()]


class Option(NamedTuple):
    """One row of the option table."""
    name: str
    kind: str
    type: str
    unit: str
    metavar: str
    default: str
    help: str
    default_words: str
    choices: tuple[str, ...]

    @property
    def flag(self) -> str:
        return "--" + self.name.replace("_", "-")

    def add_to(self, parser: argparse.ArgumentParser | argparse._ArgumentGroup) -> None:
        required = self.default == ""
        # The default as Python writes it: 298.15, None, 'atm'.
        default = None if required else ast.literal_eval(self.default)
        parser.add_argument(
            self.flag, type=_pressure if self.name == "pressure" else _CONVERSIONS[self.type],
            action=_Given, default=default, required=required, metavar=self.metavar,
            help=f"{self.help} ({self.default_words if required else 'default: ' + self.default_words})")


def _add_options(table: list[Option], kind: str,
                 parser: argparse.ArgumentParser | argparse._ArgumentGroup) -> None:
    for option in table:
        if option.kind == kind:
            option.add_to(parser)


def _add_common(parser: argparse.ArgumentParser, table: list[Option],
                presets: Sequence[str]) -> None:
    parser.add_argument(
        "--species", nargs="+", required=True, metavar="FILE|MODEL",
        help="molecule JSON files, one per species, each named after its file's stem, or the "
        "names of bundled models ('boxwright models' lists them); a path to a file always wins "
        "(required)",
    )
    amounts = parser.add_mutually_exclusive_group(required=True)
    amounts.add_argument(
        "--counts", nargs="+", type=_count, metavar="N",
        help="number of molecules of each species, in the order of --species; 0 leaves a "
        "species out (this or --mole-fractions is required)",
    )
    amounts.add_argument(
        "--mole-fractions", nargs="+", type=_number, metavar="X",
        help="mole fraction of each species, in the order of --species, summing to 1 within "
        "0.01, with --molecules: the counts are the molecules times the fractions, rounded by "
        "largest remainder to whole molecules that sum to --molecules",
    )
    parser.add_argument(
        "--molecules", type=_count, metavar="N",
        help="the total number of molecules of --mole-fractions",
    )
    parser.add_argument(
        "--force-field", type=Path, metavar="FILE",
        help="the force-field JSON file; bundled models add their pseudo atoms after its "
        "entries, and one it declares too must carry the same numbers (default: the models' "
        "own entries when a species is a model, else force_field.json in the current "
        "directory)",
    )
    parser.add_argument(
        "--out-dir", type=Path, default=Path("."), metavar="DIR",
        help="directory for data.lmp, forcefield.lmp and in.lmp, created when missing "
        "(default: the current directory)",
    )
    parser.add_argument(
        "--pair-style", choices=presets, default=presets[0],
        help="pair-style preset written into forcefield.lmp: auto (tip4p when a species is a water "
        "that declares its M site, else lj-cut-coul-long when any atom carries a charge, else "
        "lj-cut), tip4p (lj/cut/tip4p/long with pppm/tip4p, named "
        "after the water's types), lj-cut (lj/cut), lj-cut-coul-long (lj/cut/coul/long with "
        "pppm), or none (write your own); cutoffs 10 Å (default: auto)",
    )
    parser.add_argument(
        "--explicit-lb", action="store_true",
        help="write a pair_coeff line for every unlike pair, mixed by Lorentz-Berthelot, "
        "instead of letting LAMMPS mix them (default: off)",
    )
    parser.set_defaults(given=frozenset())  # the options given, by their keywords
    run = parser.add_argument_group(
        "in.lmp", "the LAMMPS input written beside the two files; its settings are also index "
        "variables that 'lmp -var NAME VALUE' overrides")
    run.add_argument(
        "--no-input", action="store_true",
        help="write no in.lmp, only data.lmp and forcefield.lmp, and remove an earlier build's "
        "in.lmp from the folder (default: write it)",
    )
    _add_options(table, "run", run)
    pair = parser.add_argument_group(
        "cutoffs and PPPM accuracy", "given in in.lmp after forcefield.lmp, in place of what it "
        "has; they need a preset and in.lmp")
    _add_options(table, "pair", pair)
    parser.add_argument(
        "--strict", action="store_true",
        help="fail on any warning, exit status 1, and write nothing; notes never fail "
        "(default: warnings are printed and the files written)",
    )
    parser.add_argument(
        "--json", action="store_true",
        help="print the build report as one JSON object instead of text (default: text)",
    )


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROG,
        description="Write the LAMMPS input files data.lmp, forcefield.lmp and in.lmp for a "
        "mixture of small molecules in a cubic box. Lengths are in ångström (Å), densities in "
        "kg/m³.",
        epilog="Run '%(prog)s COMMAND --help' for the options of a command. The force-field, "
        "molecule and coordinate files, and which preset and constraints suit which molecules, "
        "are described in docs/ of the boxwright sources.",
    )
    parser.add_argument("--version", action=_Version)
    table = option_table()
    from . import _engine

    presets = _engine.preset_names()
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    pack = commands.add_parser(
        "pack", help="pack the molecules with Packmol at a target density",
        description="Pack the molecules with Packmol into a cubic box of the given density, "
        "then write data.lmp, forcefield.lmp and in.lmp.",
    )
    pack.set_defaults(command_parser=pack)
    _add_common(pack, table, presets)
    _add_options(table, "packing", pack)
    split = pack.add_argument_group(
        "packing in sub-boxes", "the box split into a grid of sub-boxes, one Packmol each, run "
        "side by side; the files depend on the grid and the seed, never on the number of jobs")
    _add_options(table, "split-packing", split)
    pack.add_argument(
        "--accept-imperfect", action="store_true",
        help="keep a packing that Packmol reports as failed or that leaves atoms of different "
        "molecules closer than the tolerance, with a warning (default: such a packing fails "
        "and nothing is written)",
    )

    coords = commands.add_parser(
        "from-coords", help="write the files for atom positions you already have",
        description="Write data.lmp, forcefield.lmp and in.lmp for atom positions computed "
        "elsewhere.",
    )
    coords.set_defaults(command_parser=coords)
    _add_common(coords, table, presets)
    coords.add_argument(
        "--coords", type=Path, required=True, metavar="FILE",
        help="atom positions in Å, one per atom in species → molecule → atom order, as .xyz or "
        ".extxyz (count line, comment line, then 'name x y z' lines; an extended XYZ Lattice "
        "may state a cubic box), .pdb (ATOM/HETATM records of a model; CRYST1 for the box), "
        ".data/.lmp (a LAMMPS data file in the full atom style, as write_data writes it: atoms "
        "by ID, image flags applied, box from its bounds; velocities kept, as from the "
        "final.data of in.lmp), .dump/.lammpstrj (a LAMMPS text dump: atoms by id, x y z with "
        "image flags, xu yu zu or xs ys zs, box from its bounds, types compared with the "
        "build's, velocities kept), .gro (GROMACS, nm converted to Å) or .json (RASPA3's final "
        "configuration, output/restart_*.s0.json of a run kept with 'raspa --keep-raspa-dir') "
        "(required)",
    )
    coords.add_argument(
        "--box-length", type=_positive, metavar="ANG",
        help="edge of the cubic box, Å; the box spans 0 to this length on every axis "
        "(default: the cubic box the file states; given, it must agree with it)",
    )
    _add_options(table, "coordinates", coords)
    coords.add_argument(
        "--equilibrated", action="store_true",
        help="the coordinates are an equilibrated fluid's, from another program's run: in.lmp "
        "starts them without a minimisation or limited first moves, with velocities at the "
        "temperature (a file with velocities keeps them) (default: off, started as a packed box)",
    )
    coords.add_argument(
        "--check-names", action=argparse.BooleanOptionalAction, default=True,
        help="compare each atom name in the file with the pseudo-atom name the molecule files "
        "expect at its place (PDB: its first four characters); turn it off for files whose "
        "names are element symbols (default: on)",
    )
    coords.add_argument(
        "--check-bonds", action=argparse.BooleanOptionalAction, default=True,
        help="compare the length of every bond, its molecule made whole by the minimum image, "
        "with the molecule file's; a bond off by more than 25%% or longer than half the box "
        "fails the build, naming the molecule and the two atoms (default: on)",
    )
    raspa = commands.add_parser(
        "raspa", help="place and equilibrate the molecules with RASPA3's Monte Carlo",
        description="Place and equilibrate the molecules with the external RASPA3 Monte Carlo "
        "program in a cubic box of the given density, then write data.lmp, forcefield.lmp and "
        "in.lmp from its final positions. --temperature and --pressure hold for RASPA3 as for "
        "the LAMMPS run ('--pressure none' runs both at the density), and RASPA3 uses the run's "
        "cutoffs, so its final energy is LAMMPS's first potential energy.",
    )
    raspa.set_defaults(command_parser=raspa)
    _add_common(raspa, table, presets)
    for option in table:
        if option.name in ("density", "timeout"):
            option.add_to(raspa)
    mc = raspa.add_argument_group("RASPA3", "the Monte Carlo run; its cost grows as cycles × "
                                  "molecules, more for flexible molecules")
    mc.add_argument(
        "--init-cycles", type=_count, default=200, metavar="N",
        help="RASPA3's initialisation cycles (default: 200)",
    )
    mc.add_argument(
        "--cycles", type=_count, default=300, metavar="N",
        help="RASPA3's production cycles; a cycle is one attempted move per molecule "
        "(default: 300)",
    )
    mc.add_argument(
        "--seed", type=_count, metavar="S",
        help="RASPA3's random seed, for a repeatable run (default: RASPA3 chooses)",
    )
    mc.add_argument(
        "--raspa3", type=Path, metavar="PATH",
        help="the RASPA3 program (default: $BOXWRIGHT_RASPA3, else raspa3 on PATH)",
    )
    mc.add_argument(
        "--keep-raspa-dir", type=Path, metavar="DIR",
        help="run RASPA3 in DIR, created when missing, and keep its input and output there "
        "(default: a temporary directory, removed)",
    )
    models = commands.add_parser(
        "models", help="list the bundled models, or show or write one",
        description="List the bundled models, which --species takes by name; with a NAME, show "
        "that model whole, and with --write, copy its molecule file and force-field file into a "
        "directory as a start for a model of your own.",
    )
    models.set_defaults(command_parser=models)
    models.add_argument("name", nargs="?", metavar="NAME", help="the model to show or write")
    models.add_argument(
        "--write", type=Path, metavar="DIR",
        help="write NAME.json and NAME.force_field.json into DIR, created when missing; an "
        "existing file is never overwritten",
    )
    return parser


# --- the bundled models ------------------------------------------------------------------------


def _charge_text(model: Model) -> str:
    net = f"{model.charge:g}"
    return f"{net} (partial)" if model.charged else net


def list_models() -> str:
    from . import models

    rows = [(m.name, str(m.sites), m.shape, _charge_text(m), "yes" if m.checked else "no",
             m.citation) for m in map(models.get, models.names())]
    header = ("NAME", "SITES", "SHAPE", "CHARGE", "CHECKED", "SOURCE")
    widths = [max(len(row[i]) for row in [header, *rows]) for i in range(5)]
    return "".join(f"{r[0]:<{widths[0]}}  {r[1]:>{widths[1]}}  {r[2]:<{widths[2]}}  "
                   f"{r[3]:<{widths[3]}}  {r[4]:<{widths[4]}}  {r[5]}\n" for r in [header, *rows])


def show_model(model: Model) -> str:
    force_field = json.loads(model.force_field.read_text(encoding="utf-8"))
    lennard_jones = {e["name"]: e["parameters"] for e in force_field["SelfInteractions"]}
    lines = [f"{model.name}: {model.sites} sites, {model.shape}, charge {_charge_text(model)}",
             f"  molecule file:    {model.molecule}",
             f"  force-field file: {model.force_field}",
             f"  source: {model.source}",
             "  pseudo atoms (mass g/mol, charge e, epsilon K, sigma \u00c5):"]
    for atom in force_field["PseudoAtoms"]:
        epsilon, sigma = lennard_jones[atom["name"]]
        lines.append(f"    {atom['name']:<12} {atom['mass']:>8g} {atom['charge']:>9g} "
                     f"{epsilon:>8g} {sigma:>8g}")
    return "\n".join(lines) + "\n"


def run_models(args: argparse.Namespace) -> int:
    from . import models

    if args.name is None:
        if args.write is not None:
            args.command_parser.error("--write needs the NAME of a model")
        sys.stdout.write(list_models())
        return 0
    try:
        if args.write is not None:
            for path in models.write(args.name, args.write):
                print(f"wrote {shown_path(path)}")
            return 0
        sys.stdout.write(show_model(models.get(args.name)))
    except (BuildError, OSError) as error:
        return report_failure(error)
    return 0


# --- running -----------------------------------------------------------------------------------


def run(args: argparse.Namespace, progress: ProgressLine) -> BuildReport:
    from . import pack
    # Every option of the table this command has, by its keyword.
    options = {option.name: getattr(args, option.name) for option in option_table()
               if hasattr(args, option.name)}
    common = dict(
        pair_style=args.pair_style,
        explicit_lb=args.explicit_lb,
        force_field=args.force_field,
        out_dir=args.out_dir,
        input_script=not args.no_input,
        strict=args.strict,
        mole_fractions=args.mole_fractions,
        molecules=args.molecules,
        option_naming="command-line",
        **options,
    )
    # print_report shows the report's warnings; the package's BuildWarning would repeat them.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", BuildWarning)
        if args.command == "pack":
            return pack._packmol(args.species, args.counts,
                                 accept_imperfect=args.accept_imperfect,
                                 progress=None if args.jobs is None else progress, **common)
        if args.command == "raspa":
            return pack._raspa(args.species, args.counts, init_cycles=args.init_cycles,
                               cycles=args.cycles, raspa3=args.raspa3,
                               keep_raspa_dir=args.keep_raspa_dir, progress=progress, **common)
        # pack.from_coords, with this command's own option named in a failed bond check; the
        # run settings not given are those of the in.lmp beside a final.data.
        given = args.given | ({"pressure"} if "pressure_unit" in args.given else set())
        common.update({name: pack.DEFAULT for name in pack.SETTINGS_BESIDE if name not in given})
        return pack._from_coords(args.species, args.counts, args.coords, args.box_length,
                                 check_names=args.check_names, check_bonds=args.check_bonds,
                                 equilibrated=args.equilibrated,
                                 bond_check_off="--no-check-bonds", **common)


def print_report(report: BuildReport, as_json: bool) -> None:
    """Prints the report to standard output and its warnings to standard error.

    JSON keeps the warnings inside as well, for whoever reads it whole.
    """
    if as_json:
        sys.stdout.write(json.dumps(report.to_json(), ensure_ascii=False, indent=2) + "\n")
    else:
        sys.stdout.write(report.format(warnings=False))
    sys.stdout.flush()
    sys.stderr.write("".join(f"warning: {warning}\n" for warning in report.warnings))


def report_failure(error: BaseException | str, status: int = 1) -> int:
    """Prints "boxwright: <message>" and the error's notes on standard error; returns *status*."""
    lines = [f"{PROG}: {error}", *getattr(error, "__notes__", ())]
    try:
        sys.stderr.write("".join(f"{line}\n" for line in lines))
        sys.stderr.flush()
    except (OSError, ValueError, AttributeError):
        pass  # standard error closed or full: the status alone tells
    return status


class Terminated(BaseException):
    """SIGTERM (kill, timeout, a batch scheduler), raised where the program is.

    It ends a build as Ctrl-C does: every Packmol stopped, the work directory removed, the old
    files kept unless the new ones were written.
    """

    def __str__(self) -> str:
        return "terminated"


def _terminate(signum: int, frame: object) -> None:
    raise Terminated


def _interrupted(error: KeyboardInterrupt) -> KeyboardInterrupt:
    """Ctrl-C as the message shows it: "interrupted", and the notes on what became of the files."""
    shown = KeyboardInterrupt("interrupted")
    for note in getattr(error, "__notes__", ()):
        shown.add_note(note)
    return shown


def parse(argv: Sequence[str] | None) -> argparse.Namespace:
    """The command line's arguments; a usage error exits here with status 2.

    Every value that reaches the package is one it takes, so that what it refuses is the build's
    to say.
    """
    args = build_parser().parse_args(_negative_values_attached(
        sys.argv[1:] if argv is None else list(argv)))
    if args.command != "models":
        _check_amounts(args)
        _take_attached_unit(args)
    return args


def _take_attached_unit(args: argparse.Namespace) -> None:
    """--pressure 5MPa as --pressure 5 --pressure-unit MPa; a unit in both is a usage error."""
    if not isinstance(args.pressure, tuple):
        return
    if "pressure_unit" in args.given:
        args.command_parser.error(f"--pressure {args.pressure[0]:g} {args.pressure[1]} has a "
                                  "unit of its own: give --pressure-unit or a unit after the "
                                  "number, not both")
    args.pressure, args.pressure_unit = args.pressure
    args.given |= {"pressure_unit"}


def _negative_values_attached(argv: list[str]) -> list[str]:
    """`--kspace-accuracy -1e-4` as `--kspace-accuracy=-1e-4`: argparse takes a value that starts
    with a dash and is no plain integer or decimal for an option, and would report a missing
    argument instead of the value the build refuses."""
    flags = {option.flag for option in option_table()}
    attached: list[str] = []
    for arg in argv:
        number = _REAL.fullmatch(arg) or (attached and attached[-1] == "--pressure"
                                          and _PRESSURE_WITH_UNIT.fullmatch(arg))
        if attached and attached[-1] in flags and arg.startswith("-") and number:
            attached[-1] = f"{attached[-1]}={arg}"
        else:
            attached.append(arg)
    return attached


def _check_amounts(args: argparse.Namespace) -> None:
    """--counts, or --mole-fractions with --molecules; the build checks them against --species."""
    if (args.mole_fractions is None) != (args.molecules is None):
        args.command_parser.error("--mole-fractions needs --molecules" if args.molecules is None
                                  else "--molecules needs --mole-fractions, not --counts")


# What a shell reports for a process that SIGPIPE ended: the reader of its output had gone.
BROKEN_PIPE_STATUS = 128 + signal.SIGPIPE


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line; returns the exit status.

    Ctrl-C, SIGTERM and a standard output that fails end it with one line and the status the
    module's docstring gives, wherever they come.
    """
    signal.signal(signal.SIGTERM, _terminate)
    try:
        if sys.stdout is None:  # started with standard output closed
            return report_failure("writing to standard output: Bad file descriptor")
        try:
            status = _command(argv)
        except SystemExit as done:  # argparse: --help, --version and usage errors
            status = done.code if isinstance(done.code, int) else 1
        sys.stdout.flush()  # the rest of the output, while a failure can still be told
        return status
    # A signal may stop a write of the report to a slow reader: what is left of it is dropped,
    # or Python's flush at exit would wait for that reader again.
    except KeyboardInterrupt as error:
        _discard_stdout()
        return report_failure(_interrupted(error), 128 + signal.SIGINT)
    except Terminated as error:
        _discard_stdout()
        return report_failure(error, 128 + signal.SIGTERM)
    except BrokenPipeError:
        _discard_stdout()
        return report_failure("standard output closed by its reader", BROKEN_PIPE_STATUS)
    except OSError as error:  # the build's own failures are told where they happen
        _discard_stdout()
        return report_failure(f"writing to standard output: {error.strerror or error}")


def _discard_stdout() -> None:
    """Sends what is still buffered for standard output nowhere.

    Python's own flush at exit would otherwise fail again, with a traceback, or wait.
    """
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
    except (OSError, ValueError, AttributeError):
        pass


def _command(argv: Sequence[str] | None) -> int:
    args = parse(argv)
    if args.command == "models":
        return run_models(args)
    progress = ProgressLine(sys.stderr)
    try:
        report = run(args, progress)
    except KeyboardInterrupt as error:
        progress.close()
        return report_failure(_interrupted(error), 128 + signal.SIGINT)
    except Terminated as error:
        progress.close()
        return report_failure(error, 128 + signal.SIGTERM)
    except (BuildError, ValueError) as error:
        progress.close()  # the message goes on a line of its own
        # A setting the build refused is a bad command line, as argparse's own refusals are.
        if getattr(error, "option", None) is not None:
            args.command_parser.error(str(error))
        if isinstance(error, BuildError):
            return report_failure(error)
        raise
    except OSError as error:
        progress.close()
        return report_failure(error)
    finally:
        progress.close()  # and so does the traceback of Ctrl-C
    print_report(report, args.json)
    return 0
