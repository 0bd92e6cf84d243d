"""The command line, `boxwright` (or `python -m boxwright`): the two builds of `boxwright.pack`.

    boxwright pack --species co2.json butane.json --counts 50 50 --density 600
    boxwright from-coords --species water.json --counts 216 --coords water.pdb --box-length 18.6

Both write data.lmp, forcefield.lmp and in.lmp (a LAMMPS input that runs them; --no-input leaves
it out). The build report goes to standard output, readable or, with --json, as one JSON object.
Any failure, from the arguments, the coordinates file or the build itself, is one line
"boxwright: <message>" on standard error and exit status 1.
"""

from __future__ import annotations

import argparse
import json
import math
import sys
from collections.abc import Sequence
from pathlib import Path
from typing import TYPE_CHECKING, NoReturn

from .progress import ProgressLine

if TYPE_CHECKING:
    from .report import BuildReport

PROG = "boxwright"

PAIR_STYLES = {
    "auto": "auto",
    "tip4p": "Tip4p",
    "lj-cut": "LjCut",
    "lj-cut-coul-long": "LjCutCoulLong",
    "none": None,
}


class UsageError(Exception):
    """A bad command line; reported like every other failure."""


class CoordsError(Exception):
    """A coordinates file that cannot be read or makes no sense."""


class _Version(argparse.Action):
    # argparse's own version action wants the text when the parser is built; reading the
    # installed package's metadata is left for when --version is given.
    def __init__(self, option_strings: Sequence[str], dest: str, **kwargs: object) -> None:
        super().__init__(option_strings, dest, nargs=0, help="print the version and exit")

    def __call__(self, parser: argparse.ArgumentParser, *_: object) -> NoReturn:
        from . import __version__

        print(f"{parser.prog} {__version__}")
        parser.exit()


class _Parser(argparse.ArgumentParser):
    # argparse prints usage and exits with 2; a usage error is one line and status 1 here.
    def error(self, message: str) -> NoReturn:
        raise UsageError(f"{message} (see '{self.prog} --help')")


# --- coordinates files -------------------------------------------------------------------------


def _finite(text: str) -> float | None:
    try:
        value = float(text)
    except ValueError:
        return None
    return value if math.isfinite(value) else None


def _number(text: str, where: str) -> float:
    value = _finite(text)
    if value is None:
        raise CoordsError(f"{where}: '{text.strip()}' is not a finite number")
    return value


def read_xyz(path: Path) -> list[list[float]]:
    """An XYZ file: the atom count, a comment line, then one "name x y z" line per atom."""
    lines = path.read_text(encoding="utf-8").splitlines()
    if not lines or not lines[0].strip():
        raise CoordsError(f"{path}: empty XYZ file (expected the atom count on line 1)")
    try:
        count = int(lines[0].split()[0])
    except ValueError:
        count = -1
    if count < 0:
        raise CoordsError(f"{path} line 1: expected the atom count, got '{lines[0].strip()}'")
    atom_lines = lines[2 : 2 + count]
    if len(atom_lines) < count:
        raise CoordsError(f"{path}: declares {count} atoms but has {len(atom_lines)} atom lines")
    coords = []
    for number, line in enumerate(atom_lines, start=3):
        fields = line.split()
        if len(fields) < 4:
            raise CoordsError(f"{path} line {number}: expected 'name x y z', got '{line.strip()}'")
        coords.append([_number(f, f"{path} line {number}") for f in fields[1:4]])
    if any(line.strip() for line in lines[2 + count :]):
        raise CoordsError(
            f"{path}: more lines follow the {count} declared atoms (only one frame is read)"
        )
    return coords


def read_pdb(path: Path) -> list[list[float]]:
    """The ATOM and HETATM records of a PDB file (its first model), x y z in columns 31-54."""
    coords = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
        record = line[:6].strip()
        if record == "ENDMDL":
            break
        if record in ("ATOM", "HETATM"):
            where = f"{path} line {number}"
            coords.append([_number(line[a:b], where) for a, b in ((30, 38), (38, 46), (46, 54))])
    if not coords:
        raise CoordsError(f"{path}: no ATOM or HETATM records")
    return coords


def read_coords(path: Path) -> list[list[float]]:
    readers = {".xyz": read_xyz, ".pdb": read_pdb}
    reader = readers.get(path.suffix.lower())
    if reader is None:
        raise CoordsError(f"{path}: unknown coordinates format (expected a .xyz or .pdb file)")
    try:
        return reader(path)
    except UnicodeDecodeError:
        raise CoordsError(f"reading {path}: not UTF-8 text") from None
    except OSError as err:
        raise CoordsError(f"reading {path}: {err.strerror or err}") from None


# --- arguments ---------------------------------------------------------------------------------


def _count(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"'{text}' is not a whole number") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"'{text}' is negative")
    return value


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


def _grid(text: str) -> tuple[int, ...]:
    parts = text.split(",")
    if len(parts) != 3 or not all(part.strip().isdigit() for part in parts):
        raise argparse.ArgumentTypeError(f"'{text}' is not three whole numbers NX,NY,NZ")
    return tuple(int(part) for part in parts)


def _pressure(text: str) -> float | None:
    return None if text == "none" else _real(text)


def _add_common(parser: argparse.ArgumentParser) -> None:
    parser.add_argument(
        "--species", nargs="+", required=True, type=Path, metavar="FILE",
        help="molecule JSON files, one per species; each species is named after its file's "
        "stem (required)",
    )
    parser.add_argument(
        "--counts", nargs="+", required=True, type=_count, metavar="N",
        help="number of molecules of each species, in the order of --species; 0 leaves a "
        "species out (required)",
    )
    parser.add_argument(
        "--force-field", type=Path, default=Path("force_field.json"), metavar="FILE",
        help="the force-field JSON file (default: force_field.json in the current directory)",
    )
    parser.add_argument(
        "--out-dir", type=Path, default=Path("."), metavar="DIR",
        help="directory for data.lmp and forcefield.lmp, created when missing "
        "(default: the current directory)",
    )
    parser.add_argument(
        "--pair-style", choices=list(PAIR_STYLES), default="auto",
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
        "--temperature", type=_positive, default=298.15, metavar="K",
        help="temperature of the run, K (default: 298.15)",
    )
    run.add_argument(
        "--pressure", type=_pressure, default=1.0, metavar="ATM",
        help="pressure of the NPT run, atm, or 'none' for NVT at the density as built "
        "(default: 1.0)",
    )
    run.add_argument(
        "--timestep", type=_positive, default=1.0, metavar="FS",
        help="timestep, fs (default: 1.0)",
    )
    run.add_argument(
        "--steps", type=_count, default=100000, metavar="N",
        help="steps of the production run (default: 100000)",
    )
    parser.add_argument(
        "--json", action="store_true",
        help="print the build report as one JSON object instead of text (default: text)",
    )


def build_parser() -> argparse.ArgumentParser:
    parser = _Parser(
        prog=PROG,
        description="Write the LAMMPS input files data.lmp, forcefield.lmp and in.lmp for a "
        "mixture of small molecules in a cubic box. Lengths are in ångström (Å), densities in "
        "kg/m³.",
        epilog="Run '%(prog)s COMMAND --help' for the options of a command. The force-field, "
        "molecule and coordinate files, and which preset and constraints suit which molecules, "
        "are described in docs/ of the boxwright sources.",
    )
    parser.add_argument("--version", action=_Version)
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND",
                                     parser_class=_Parser)

    pack = commands.add_parser(
        "pack", help="pack the molecules with Packmol at a target density",
        description="Pack the molecules with Packmol into a cubic box of the given density, "
        "then write data.lmp, forcefield.lmp and in.lmp.",
    )
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
        "--jobs", type=_count, metavar="N",
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
        "--timeout", type=_positive, metavar="SECONDS",
        help="stop every Packmol and write nothing once packing has taken this long "
        "(default: no limit)",
    )

    coords = commands.add_parser(
        "from-coords", help="write the files for atom positions you already have",
        description="Write data.lmp, forcefield.lmp and in.lmp for atom positions computed "
        "elsewhere.",
    )
    _add_common(coords)
    coords.add_argument(
        "--coords", type=Path, required=True, metavar="FILE",
        help="atom positions in Å, as .xyz (count line, comment line, then 'name x y z' "
        "lines) or .pdb (ATOM/HETATM records, first model), one per atom in species → "
        "molecule → atom order (required)",
    )
    coords.add_argument(
        "--box-length", type=_positive, required=True, metavar="ANG",
        help="edge of the cubic box, Å; the box spans 0 to this length on every axis (required)",
    )
    return parser


# --- running -----------------------------------------------------------------------------------


def run(args: argparse.Namespace, progress: ProgressLine) -> BuildReport:
    # Imported here so that --help works even where the native module is not built.
    from . import pack

    pair_style = PAIR_STYLES[args.pair_style]
    common = dict(
        pair_style=pair_style if pair_style in (None, "auto")
        else getattr(pack.PyPairSetup, pair_style),
        explicit_lb=args.explicit_lb,
        force_field=args.force_field,
        out_dir=args.out_dir,
        input_script=not args.no_input,
        temperature=args.temperature,
        pressure=args.pressure,
        timestep=args.timestep,
        steps=args.steps,
    )
    if args.command == "pack":
        if args.jobs is None and (args.seed is not None or args.subboxes is not None):
            raise UsageError("--seed and --subboxes split the box: give --jobs too")
        return pack.packmol(args.species, args.counts, args.density,
                            tolerance=args.tolerance, jobs=args.jobs, seed=args.seed,
                            subboxes=args.subboxes, timeout=args.timeout,
                            progress=None if args.jobs is None else progress, **common)
    return pack.from_coords(args.species, args.counts, read_coords(args.coords),
                            args.box_length, **common)


def _one_line(message: str) -> str:
    return " ".join(message.split("\n"))


def main(argv: Sequence[str] | None = None) -> int:
    progress = ProgressLine(sys.stderr)
    try:
        args = build_parser().parse_args(argv)
        report = run(args, progress)
    except (UsageError, CoordsError, RuntimeError, ValueError, OverflowError) as err:
        progress.close()  # the message goes on a line of its own
        print(f"{PROG}: {_one_line(str(err))}", file=sys.stderr)
        return 1
    finally:
        progress.close()  # and so does the traceback of Ctrl-C
    if args.json:
        sys.stdout.write(json.dumps(report.to_json(), ensure_ascii=False, indent=2) + "\n")
    else:
        sys.stdout.write(report.format())
    return 0
