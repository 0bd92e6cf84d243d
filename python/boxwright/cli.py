"""The command line, `boxwright` (or `python -m boxwright`): the two builds of `boxwright.pack`.

    boxwright pack --species co2.json butane.json --counts 50 50 --density 600
    boxwright pack --species co2.json butane.json --mole-fractions 0.2 0.8 --molecules 100 \
        --density 600
    boxwright from-coords --species water.json --counts 216 --coords water.pdb --box-length 18.6

Both write data.lmp, forcefield.lmp and in.lmp (a LAMMPS input that runs them; --no-input leaves
it out). The build report goes to standard output, readable or, with --json, as one JSON object;
its warnings also go to standard error, as lines "warning: ...", and the readable report leaves
them there alone, each once (the package's BuildWarning is not shown again). A bad command line is
argparse's usage line and message, exit status 2. A failure of the build or of its input files
(boxwright.BuildError, or the operating system's error) is "boxwright: <message>" on standard
error, with every line the message has (Packmol's output included), and exit status 1. Ctrl-C and
SIGTERM stop the build (every Packmol, the work directory removed) with "boxwright: interrupted"
or "boxwright: terminated" and a line on what became of the files, exit status 130 or 143.
Nothing else is caught, so a fault of the program itself still shows its traceback.
"""

from __future__ import annotations

import argparse
import json
import math
import signal
import sys
import warnings
from collections.abc import Sequence
from pathlib import Path
from typing import TYPE_CHECKING, NoReturn

from .errors import BuildError, BuildWarning
from .progress import ProgressLine

if TYPE_CHECKING:
    from .models import Model
    from .report import BuildReport

PROG = "boxwright"

# The preset names of boxwright.pack.PAIR_STYLES, spelled out so that --help works even where the
# native modules are not built.
PAIR_STYLE_NAMES = ("auto", "tip4p", "lj-cut", "lj-cut-coul-long", "none")
COUNT_LIMIT = 2**64 - 1
JOBS_LIMIT = 2**63 - 1
SUBBOX_LIMIT = 2**32 - 1  # along one axis


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
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"'{text}' is not a whole number") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"'{text}' is negative")
    if value > limit:
        raise argparse.ArgumentTypeError(f"'{text}' is more than {limit}")
    return value


def _jobs(text: str) -> int:
    return _count(text, JOBS_LIMIT)


def _finite(text: str) -> float | None:
    try:
        value = float(text)
    except ValueError:
        return None
    return value if math.isfinite(value) else None


def _real(text: str) -> float:
    value = _finite(text)
    if value is None:
        raise argparse.ArgumentTypeError(f"'{text}' is not a finite number")
    return value


def _positive(text: str) -> float:
    value = _finite(text)
    if value is None or value <= 0:
        raise argparse.ArgumentTypeError(f"'{text}' is not a positive finite number")
    return value


def _fraction(text: str) -> float:
    value = _finite(text)
    if value is None or value < 0:
        raise argparse.ArgumentTypeError(f"'{text}' is not a finite number of at least 0")
    return value


def _grid(text: str) -> tuple[int, ...]:
    parts = text.split(",")
    if len(parts) != 3:
        raise argparse.ArgumentTypeError(f"'{text}' is not three whole numbers NX,NY,NZ")
    return tuple(_count(part, SUBBOX_LIMIT) for part in parts)


def _pressure(text: str) -> float | None:
    return None if text == "none" else _real(text)


def _add_common(parser: argparse.ArgumentParser) -> None:
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
        "--mole-fractions", nargs="+", type=_fraction, metavar="X",
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
        help="directory for data.lmp and forcefield.lmp, created when missing "
        "(default: the current directory)",
    )
    parser.add_argument(
        "--pair-style", choices=PAIR_STYLE_NAMES, default="auto",
        help="pair-style preset written into forcefield.lmp: auto (lj-cut-coul-long when any "
        "atom carries a charge, else lj-cut), tip4p (lj/cut/tip4p/long with pppm/tip4p, named "
        "after the water's types), lj-cut (lj/cut), lj-cut-coul-long (lj/cut/coul/long with "
        "pppm), or none (write your own); cutoffs 10 Å (default: auto)",
    )
    parser.add_argument(
        "--explicit-lb", action="store_true",
        help="write a pair_coeff line for every unlike pair, mixed by Lorentz-Berthelot, "
        "instead of letting LAMMPS mix them (default: off)",
    )
    run = parser.add_argument_group(
        "in.lmp", "the LAMMPS input written beside the two files; its settings are also index "
        "variables that 'lmp -var NAME VALUE' overrides")
    run.add_argument(
        "--no-input", action="store_true",
        help="write no in.lmp, only data.lmp and forcefield.lmp (default: write it)",
    )
    run.add_argument(
        "--temperature", type=_real, default=298.15, metavar="K",
        help="temperature of the run, K (default: 298.15)",
    )
    run.add_argument(
        "--pressure", type=_pressure, default=1.0, metavar="ATM",
        help="pressure of the NPT run, atm, or 'none' for NVT at the density as built "
        "(default: 1.0)",
    )
    run.add_argument(
        "--timestep", type=_real, default=1.0, metavar="FS",
        help="timestep, fs (default: 1.0)",
    )
    run.add_argument(
        "--steps", type=_count, default=100000, metavar="N",
        help="steps of the production run (default: 100000)",
    )
    pair = parser.add_argument_group(
        "cutoffs and PPPM accuracy", "given in in.lmp after forcefield.lmp, in place of what it "
        "has; they need a preset and in.lmp")
    pair.add_argument(
        "--cutoff", type=_real, metavar="ANG",
        help="Lennard-Jones cutoff, Å, in place of the force field's CutOffVDW (default: "
        "CutOffVDW)",
    )
    pair.add_argument(
        "--coulomb-cutoff", type=_real, metavar="ANG",
        help="Coulomb cutoff, Å, for a preset with a Coulomb term (default: the preset's 10)",
    )
    pair.add_argument(
        "--kspace-accuracy", type=_real, metavar="X",
        help="PPPM accuracy, the relative error in forces, for a preset with a long-range "
        "solver (default: the preset's 1.0e-4)",
    )
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
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    pack = commands.add_parser(
        "pack", help="pack the molecules with Packmol at a target density",
        description="Pack the molecules with Packmol into a cubic box of the given density, "
        "then write data.lmp, forcefield.lmp and in.lmp.",
    )
    pack.set_defaults(command_parser=pack)
    _add_common(pack)
    pack.add_argument(
        "--density", type=_real, required=True, metavar="KG_M3",
        help="target mass density of the mixture, kg/m³; sets the box edge (required)",
    )
    pack.add_argument(
        "--tolerance", type=_real, default=2.0, metavar="ANG",
        help="minimum distance Packmol keeps between atoms of different molecules, Å "
        "(default: 2.0)",
    )
    split = pack.add_argument_group(
        "packing in sub-boxes", "the box split into a grid of sub-boxes, one Packmol each, run "
        "side by side; the files depend on the grid and the seed, never on the number of jobs")
    split.add_argument(
        "--jobs", type=_jobs, metavar="N",
        help="split the box and run N Packmol processes at once, 0 for one per core; progress "
        "goes to standard error (default: one Packmol run for the whole box)",
    )
    split.add_argument(
        "--seed", type=_count, metavar="S",
        help="the seed each sub-box's Packmol seed derives from (default: a fixed one)",
    )
    split.add_argument(
        "--subboxes", type=_grid, metavar="NX,NY,NZ",
        help="the grid of sub-boxes (default: chosen from the system, about 1,500 molecules "
        "each, none narrower than twice the widest molecule plus the tolerance)",
    )
    pack.add_argument(
        "--timeout", type=_real, metavar="SECONDS",
        help="stop every Packmol and write nothing once packing has taken this long "
        "(default: no limit)",
    )
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
    _add_common(coords)
    coords.add_argument(
        "--coords", type=Path, required=True, metavar="FILE",
        help="atom positions in Å, one per atom in species → molecule → atom order, as .xyz or "
        ".extxyz (count line, comment line, then 'name x y z' lines; an extended XYZ Lattice "
        "may state a cubic box), .pdb (ATOM/HETATM records of the first model; CRYST1 for the "
        "box) or .data/.lmp (a LAMMPS data file in the full atom style, as write_data writes "
        "it: atoms by ID, image flags applied, box from its bounds; velocities kept, as from the "
        "final.data of in.lmp) (required)",
    )
    coords.add_argument(
        "--box-length", type=_positive, metavar="ANG",
        help="edge of the cubic box, Å; the box spans 0 to this length on every axis "
        "(default: the cubic box the file states; given, it must agree with it)",
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
             m.citation) for m in map(models.find, models.names())]
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
                print(f"wrote {path}")
            return 0
        sys.stdout.write(show_model(models.get(args.name)))
    except (BuildError, OSError) as error:
        return report_failure(error)
    return 0


# --- running -----------------------------------------------------------------------------------


def run(args: argparse.Namespace, progress: ProgressLine) -> BuildReport:
    # Imported here so that --help works even where the native modules are not built.
    from . import pack
    common = dict(
        pair_style=args.pair_style,
        explicit_lb=args.explicit_lb,
        force_field=args.force_field,
        out_dir=args.out_dir,
        input_script=not args.no_input,
        temperature=args.temperature,
        pressure=args.pressure,
        timestep=args.timestep,
        steps=args.steps,
        cutoff=args.cutoff,
        coulomb_cutoff=args.coulomb_cutoff,
        kspace_accuracy=args.kspace_accuracy,
        strict=args.strict,
        mole_fractions=args.mole_fractions,
        molecules=args.molecules,
    )
    # print_report shows the report's warnings; the package's BuildWarning would repeat them.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", BuildWarning)
        if args.command == "pack":
            return pack.packmol(args.species, args.counts, args.density,
                                tolerance=args.tolerance, jobs=args.jobs, seed=args.seed,
                                subboxes=args.subboxes, timeout=args.timeout,
                                accept_imperfect=args.accept_imperfect,
                                progress=None if args.jobs is None else progress, **common)
        # pack.from_coords, with this command's own option named in a failed bond check.
        return pack._from_coords(args.species, args.counts, args.coords, args.box_length,
                                 check_names=args.check_names, check_bonds=args.check_bonds,
                                 bond_check_off="--no-check-bonds", **common)


def print_report(report: BuildReport, as_json: bool) -> None:
    """The report to standard output, its warnings to standard error: JSON keeps them inside as
    well, for whoever reads it whole."""
    if as_json:
        sys.stdout.write(json.dumps(report.to_json(), ensure_ascii=False, indent=2) + "\n")
    else:
        sys.stdout.write(report.format(warnings=False))
    sys.stdout.flush()
    sys.stderr.write("".join(f"warning: {warning}\n" for warning in report.warnings))


def report_failure(error: BaseException, status: int = 1) -> int:
    print(f"{PROG}: {error}", file=sys.stderr)
    for note in getattr(error, "__notes__", ()):
        print(note, file=sys.stderr)
    return status


class Terminated(BaseException):
    """SIGTERM (kill, timeout, a batch scheduler) ends a build as Ctrl-C does: every Packmol
    stopped, the work directory removed, the old files kept unless the new ones were written."""

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
    """The command line's arguments; a usage error exits here with status 2. Every value that
    reaches the package is one it takes, so that what it refuses is the build's to say."""
    args = build_parser().parse_args(argv)
    if args.command != "models":
        _check_amounts(args)
    return args


def _check_amounts(args: argparse.Namespace) -> None:
    """--counts, or --mole-fractions with --molecules, one per species."""
    if (args.mole_fractions is None) != (args.molecules is None):
        args.command_parser.error("--mole-fractions needs --molecules" if args.molecules is None
                                  else "--molecules needs --mole-fractions, not --counts")
    given, amounts = (("--counts", args.counts) if args.mole_fractions is None
                      else ("--mole-fractions", args.mole_fractions))
    if len(args.species) != len(amounts):
        args.command_parser.error(f"--species has {len(args.species)} entries but {given} has "
                                  f"{len(amounts)} (they must match 1:1)")


def main(argv: Sequence[str] | None = None) -> int:
    args = parse(argv)
    if args.command == "models":
        return run_models(args)
    progress = ProgressLine(sys.stderr)
    signal.signal(signal.SIGTERM, _terminate)
    try:
        report = run(args, progress)
    except KeyboardInterrupt as error:
        progress.close()
        return report_failure(_interrupted(error), 128 + signal.SIGINT)
    except Terminated as error:
        progress.close()
        return report_failure(error, 128 + signal.SIGTERM)
    except (BuildError, OSError) as error:
        progress.close()  # the message goes on a line of its own
        return report_failure(error)
    finally:
        progress.close()  # and so does the traceback of Ctrl-C
    print_report(report, args.json)
    return 0
