"""Build the LAMMPS input files for a mixture in a cubic box: data.lmp, forcefield.lmp and in.lmp.

Three ways in:

* `packmol` packs the molecules itself with the external Packmol program at a target density,
  in one Packmol run, or with ``jobs=N`` in a grid of sub-boxes packed N at a time (one Packmol
  each), which uses every core and is faster even on one;
* `raspa` places and equilibrates them with the external RASPA3 Monte Carlo program
  (`boxwright.raspa_init.pack_with_raspa3`) and writes the files from its final positions;
* `from_coords` takes atom positions the caller already has (for example from an equilibration
  run elsewhere): rows or a float64 (n, 3) buffer together with the box edge, or a coordinate
  file (XYZ, PDB or a LAMMPS data file), read natively, whose cubic box may stand in for the edge.

Both write data.lmp and forcefield.lmp exactly as `boxwright._native` does, and by default in.lmp
beside them: a LAMMPS input that runs the system as it is (constraints for the rigid species, a
start that survives packed contacts, then NPT or NVT). They accept `pathlib.Path` (any
`os.PathLike`) wherever a path goes, a single path for one species, and a preset by its
command-line name ("tip4p", "lj-cut", "lj-cut-coul-long", "none", "auto") as well as a
`PyPairSetup`, and return a `BuildReport`: `str(report)` is the build
summary, and the report adds each species' mass and charge, the density, the net charge, the
closest contact between molecules and every warning of the build. Both take the mixture as a
count per species, or as mole fractions of a total number of molecules (``counts=None,
mole_fractions=[0.25, 0.75], molecules=400``), which the build rounds to counts that sum to it.

A failing build raises `BuildError` (a `RuntimeError`), whose `message` is the whole message and
whose `file` and `line` say which input file, and which line of it, is at fault, when one is.
A mistake in the arguments themselves raises `TypeError` (a value of the wrong type, counts and
mole fractions given both or neither) or `ValueError` (a negative count or mole fraction, counts
or mole fractions that do not match the species, a number that is not finite, coordinates that
are not rows of three numbers or not one row per atom), its message naming the parameter;
nothing has been read then, except for the number of rows, which is known once the species are.
A value that the build refuses (a temperature that is not positive, a setting the preset has no
use for, mole fractions that do not sum to 1) is a `BuildError`.

Each warning of the report is also issued with `warnings.warn` as a `BuildWarning`, at the
caller's line, once the files are written: with `warnings.simplefilter("error", BuildWarning)`
(or ``python -W error::UserWarning``, as a BuildWarning is a UserWarning) the first of them is
raised, but only after the files are written (``strict=True`` is the way to fail before writing
anything).

Example::

    from boxwright import pack
    report = pack.packmol(["examples/co2.json", "examples/butane.json"], [50, 50], 600.0,
                          force_field="examples/force_field.json", out_dir="out")
    print(report.format())

A species that is not a path to a file names a bundled model (`boxwright.models`), whose force
field comes with it::

    report = pack.packmol(["tip4p2005", "ethanol"], [500, 50], 950.0, out_dir="mix")
"""

from __future__ import annotations

import dataclasses
import os
import warnings
from collections.abc import Buffer, Callable, Sequence
from typing import Any, Literal, TypeAlias

from . import models
from ._engine import build_from_coords, build_packmol
from ._native import PyPairSetup
from .errors import BuildError, BuildWarning
from .progress import Progress
from .report import BuildReport, RaspaRun

__all__ = ["PyPairSetup", "BuildReport", "BuildError", "BuildWarning", "PAIR_STYLES", "DEFAULT",
           "Progress", "packmol", "from_coords", "raspa"]

StrPath: TypeAlias = str | os.PathLike[str]
PairStyle: TypeAlias = PyPairSetup | str | None
PressureUnit: TypeAlias = Literal["atm", "bar", "kPa", "MPa", "Pa"]


class Default:
    """The type of `DEFAULT`: a run setting of `from_coords` not given."""

    def __repr__(self) -> str:
        return "DEFAULT"


# A run setting not given: that of the in.lmp beside a coordinate file named final.data, else the
# build's default (298.15 K, 1.0 atm, 1.0 fs).
DEFAULT = Default()
# The run settings a rebuild from a final.data takes from the in.lmp beside it.
SETTINGS_BESIDE = ("temperature", "pressure", "timestep")

# The presets by the names the command line gives them (`_engine.preset_names()`, which a test
# compares with these); "auto" takes Tip4p when a species is a water that declares its M site,
# else LjCutCoulLong when any atom of the build carries a charge, and LjCut otherwise.
PAIR_STYLES: dict[str, PyPairSetup | Literal["auto"] | None] = {
    "auto": "auto",
    "tip4p": PyPairSetup.Tip4p,
    "lj-cut": PyPairSetup.LjCut,
    "lj-cut-coul-long": PyPairSetup.LjCutCoulLong,
    "none": None,
}


def _path(value: Any, name: str) -> str:
    path = os.fspath(value) if isinstance(value, os.PathLike) else value
    if not isinstance(path, str):
        raise TypeError(f"{name} must be a path (str or os.PathLike), not {type(value).__name__}")
    return path


def _species(values: Any) -> list[str]:
    # A single path is one species, never a sequence of one-letter paths.
    if isinstance(values, (str, os.PathLike)):
        return [_path(values, "species")]
    if isinstance(values, (bytes, bytearray)) or not isinstance(values, Sequence):
        raise TypeError("species must be a path or a sequence of paths (str or os.PathLike), "
                        f"not {type(values).__name__}")
    return [_path(v, f"species[{i}]") for i, v in enumerate(values)]


def _inputs(species: Any, force_field: Any) -> tuple[list[str], dict[str, Any]]:
    """The engine's species paths, and its force_field and model_force_fields.

    An entry that is no file but a bundled model's name becomes the model's files; without a
    force-field file the models' entries stand alone, and without models it is force_field.json
    here.
    """
    paths, model_force_fields = models.resolve_species(_species(species))
    if force_field is not None:
        force_field = _path(force_field, "force_field")
    elif not model_force_fields:
        force_field = "force_field.json"
    return paths, {"force_field": force_field, "model_force_fields": model_force_fields}


def _pair_code(pair_style: Any) -> int | str | None:
    """The engine's form of a preset: its integer code, its name (checked there) or None."""
    if isinstance(pair_style, PyPairSetup):
        return int(pair_style)
    if pair_style is None or isinstance(pair_style, str):
        return pair_style
    names = ", ".join(repr(name) for name in PAIR_STYLES)
    raise TypeError(f"pair_style must be a PyPairSetup, None or one of {names}, "
                    f"not {type(pair_style).__name__}")


def _progress_call(progress: Any) -> Any:
    """The engine's form of a progress callback, which it calls with four numbers.

    Anything not callable goes through unchanged, for the engine to refuse with a message naming
    progress.
    """
    if not callable(progress):
        return progress
    return lambda done, total, elapsed, remaining: progress(
        Progress(done, total, elapsed, remaining))


# The package's own frames, which a warning skips to reach its caller's line.
_PACKAGE_DIR = os.path.dirname(__file__)


def _warned(build: Callable[[], dict[str, Any] | BuildReport], species: Any) -> BuildReport:
    """The report of a build, each of its warnings issued as a BuildWarning.

    Each is issued at the line that called into the package. A species file that hides a bundled
    model of its name is a note of the report, or of the failure.
    """
    notes = models.shadowed(_species(species))
    try:
        built = build()
    except Exception as error:
        for note in notes:
            error.add_note(f"note: {note}")
        raise
    if isinstance(built, BuildReport):  # the raspa path's, whose first build told the notes
        report = built
    else:
        built["diagnostics"] = [
            *built["diagnostics"],
            *({"kind": "species", "level": "note", "text": note} for note in notes)]
        report = BuildReport.from_engine(built)
    for text in report.warnings:
        warnings.warn(text, BuildWarning, skip_file_prefixes=(_PACKAGE_DIR,))
    return report


def packmol(
    species: StrPath | Sequence[StrPath],
    counts: Sequence[int] | None = None,
    density: float | None = None,
    pair_style: PairStyle = "auto",
    explicit_lb: bool = False,
    force_field: StrPath | None = None,
    out_dir: StrPath = ".",
    tolerance: float = 2.0,
    *,
    input_script: bool = True,
    temperature: float = 298.15,
    pressure: float | None = 1.0,
    timestep: float = 1.0,
    steps: int = 100000,
    pressure_unit: PressureUnit = "atm",
    thermostat_damping: float = 100.0,
    barostat_damping: float = 1000.0,
    thermo_every: int = 1000,
    dump_every: int = 1000,
    start_steps: int = 10000,
    handover_steps: int = 5000,
    cutoff: float | None = None,
    coulomb_cutoff: float | None = None,
    kspace_accuracy: float | None = None,
    jobs: int | None = None,
    seed: int | None = None,
    subboxes: Sequence[int] | None = None,
    timeout: float | None = None,
    progress: Callable[[Progress], object] | None = None,
    accept_imperfect: bool = False,
    strict: bool = False,
    mole_fractions: Sequence[float] | None = None,
    molecules: int | None = None,
) -> BuildReport:
    """Pack the mixture with Packmol and write data.lmp, forcefield.lmp and in.lmp into *out_dir*.

    Parameters
    ----------
    species : str, os.PathLike or a sequence of them
        Molecule JSON files, one per species; each species is named after its file's stem. An
        entry that is not a path to a file names a bundled model (`boxwright.models.names()`:
        "tip4p2005", "ethanol", ...), whose species takes the model's name.
    counts : sequence of int, or None
        Number of molecules per species (same order as *species*); 0 leaves a species out.
        None when *mole_fractions* and *molecules* give them instead.
    density : float
        Target mass density of the mixture, kg/m³; sets the edge of the cubic box (required).
    pair_style : PyPairSetup, str or None
        Pair-style preset written into forcefield.lmp, also by its name in PAIR_STYLES ("tip4p",
        "lj-cut", "lj-cut-coul-long"). "auto" takes Tip4p when a species is a water that declares
        its M site ("MSite"), else LjCutCoulLong when any atom of the build carries a charge, and
        LjCut otherwise; None or "none" leaves the pair style to you.
    explicit_lb : bool
        Write a pair_coeff line for every unlike pair (Lorentz-Berthelot) instead of letting
        LAMMPS mix them.
    force_field : str, os.PathLike or None
        The force-field JSON file. Bundled models add their own pseudo atoms after its entries;
        one it declares as well must carry the same numbers. None: the models' entries alone
        when any species is a model, else force_field.json in the working directory.
    out_dir : str or os.PathLike
        Output directory, created with its parents when missing.
    tolerance : float
        Minimum distance Packmol keeps between atoms of different molecules, Å.
    input_script : bool
        Write in.lmp beside the two files.
    temperature : float
        Temperature of the run in in.lmp, K.
    pressure : float or None
        Pressure of the NPT run in in.lmp, in *pressure_unit*; None runs NVT at the density as
        built.
    timestep : float
        Timestep of the run in in.lmp, fs.
    steps : int
        Steps of the production run in in.lmp.
    pressure_unit : {"atm", "bar", "kPa", "MPa", "Pa"}
        The unit of *pressure*; in.lmp keeps the pressure in it and converts it to the atm of
        LAMMPS's real units. The pressure's ranges (refused beyond ±10⁶ atm, warned beyond ±10⁵)
        hold converted.
    thermostat_damping, barostat_damping : float
        Damping times, fs, of every thermostat (the start's Langevin, the production's
        Nose-Hoover) and of both barostats (the hand-over's Berendsen, the production's
        Nose-Hoover); each must be more than twice the timestep.
    thermo_every : int
        Steps between the thermo lines of in.lmp's runs, at least 1.
    dump_every : int
        Steps between the frames of the production's trajectory, trajectory.lammpstrj; 0 writes
        none.
    start_steps, handover_steps : int
        Steps of the thermostatted start at the volume as built, and of the Berendsen barostat
        that brings the pressure to the target before an NPT production.
    cutoff : float or None
        Lennard-Jones cutoff of the run, Å, in place of the force field's ``CutOffVDW``; in.lmp
        gives the preset's pair style again with it. Needs a preset and in.lmp.
    coulomb_cutoff : float or None
        Coulomb cutoff of the run, Å, in place of the preset's 10 Å; needs a preset with a
        Coulomb term ("auto" on a system without charges has none).
    kspace_accuracy : float or None
        PPPM accuracy of the run (relative error in forces, between 0 and 1) in place of the
        preset's 1.0e-4; needs a preset with a long-range solver.
    jobs : int or None
        None packs the whole box with one Packmol run. A number splits the box into a grid of
        sub-boxes, each packed by its own Packmol, and runs that many at once (0: one per
        core). The grid follows from the system, so any number of jobs gives the same files.
    seed : int or None
        The seed every sub-box's Packmol seed derives from (default: a fixed one); needs *jobs*.
    subboxes : (nx, ny, nz) or None
        The grid of sub-boxes instead of the one chosen from the system (about 1,500 molecules
        per sub-box, none narrower than twice the widest molecule plus the tolerance); needs
        *jobs*.
    timeout : float or None
        Seconds the packing may take; once they are spent every Packmol is stopped, nothing is
        written and `BuildError` says so.
    progress : callable or None
        Called with a `Progress` after each Packmol run; an exception it raises stops the
        packing and is raised from here, as Ctrl-C is.
    accept_imperfect : bool
        A packing that Packmol reports as failed, or whose closest atoms of different molecules
        are closer than *tolerance*, raises `BuildError` naming them, and nothing is written;
        true keeps such a packing, with a warning.
    strict : bool
        Fail on the build's warnings (`BuildError` listing them all) and write nothing; the
        warnings about the input stop it before anything is packed. Notes never fail it.
    mole_fractions : sequence of float, or None
        The mixture by composition, in place of *counts*: one mole fraction per species, at
        least 0 and summing to 1 within 0.01 (they are scaled to sum to exactly 1).
    molecules : int or None
        The total number of molecules of *mole_fractions*, from 1 to 10^12. The counts are
        molecules × fraction rounded by largest remainder: each species gets the whole part,
        and the molecules still missing go one each to the largest fractional parts (the
        earlier species first among equal ones), so they sum to *molecules*. A note of the
        report (`report.notes`) says how they were rounded, and a warning names a species with
        a positive fraction that came to no molecule.

    Returns
    -------
    BuildReport
        The report; ``str(report)`` is the build summary.
    """
    return _packmol(
        species, counts, density, pair_style, explicit_lb, force_field, out_dir, tolerance,
        input_script=input_script, temperature=temperature, pressure=pressure,
        timestep=timestep, steps=steps, pressure_unit=pressure_unit,
        thermostat_damping=thermostat_damping, barostat_damping=barostat_damping,
        thermo_every=thermo_every, dump_every=dump_every, start_steps=start_steps,
        handover_steps=handover_steps, cutoff=cutoff, coulomb_cutoff=coulomb_cutoff,
        kspace_accuracy=kspace_accuracy, jobs=jobs, seed=seed, subboxes=subboxes,
        timeout=timeout, progress=progress, accept_imperfect=accept_imperfect, strict=strict,
        mole_fractions=mole_fractions, molecules=molecules)


def _packmol(species, counts=None, density=None, pair_style: Any = "auto", explicit_lb=False,
             force_field=None, out_dir: Any = ".", tolerance=2.0, *, progress=None,
             **keywords: Any) -> BuildReport:
    """`packmol`, with the engine's keywords beyond it: `option_naming="command-line"` has a
    failure about a setting name the command line's option."""
    if density is None:
        raise TypeError("packmol() missing required argument: 'density'")
    paths, force_fields = _inputs(species, force_field)
    return _warned(lambda: build_packmol(
        paths, counts, density, pair_style=_pair_code(pair_style),
        explicit_lb=explicit_lb, **force_fields, out_dir=_path(out_dir, "out_dir"),
        tolerance=tolerance, progress=_progress_call(progress), **keywords), species)


def from_coords(
    species: StrPath | Sequence[StrPath],
    counts: Sequence[int] | None = None,
    coords: StrPath | Sequence[Sequence[float]] | Buffer | None = None,
    box_len: float | None = None,
    pair_style: PairStyle = "auto",
    explicit_lb: bool = False,
    force_field: StrPath | None = None,
    out_dir: StrPath = ".",
    *,
    input_script: bool = True,
    temperature: float | Default = DEFAULT,
    pressure: float | None | Default = DEFAULT,
    timestep: float | Default = DEFAULT,
    steps: int = 100000,
    pressure_unit: PressureUnit = "atm",
    thermostat_damping: float = 100.0,
    barostat_damping: float = 1000.0,
    thermo_every: int = 1000,
    dump_every: int = 1000,
    start_steps: int = 10000,
    handover_steps: int = 5000,
    cutoff: float | None = None,
    coulomb_cutoff: float | None = None,
    kspace_accuracy: float | None = None,
    check_names: bool = True,
    check_bonds: bool = True,
    strict: bool = False,
    mole_fractions: Sequence[float] | None = None,
    molecules: int | None = None,
    frame: int | None = None,
    equilibrated: bool = False,
) -> BuildReport:
    """Write data.lmp, forcefield.lmp and in.lmp into *out_dir* for positions computed elsewhere.

    Parameters
    ----------
    species, counts
        As for `packmol`.
    coords : path, sequence of [x, y, z], or a float64 buffer of shape (n, 3)
        One position per atom, Å, in species → molecule → atom order (atoms in the order of
        the molecule file). Positions are written as given, not wrapped into the box. A path
        names a coordinate file, read natively after the force field and the species have been
        checked: .xyz or .extxyz (count line, comment line, "name x y z" lines; an extended XYZ
        Lattice may state a cubic box), .pdb (ATOM/HETATM records of a model, CRYST1 for the
        box), .data or .lmp (a LAMMPS data file, atom style full: atoms by ID, image flags
        applied, box from its bounds; the velocities of a Velocities section go into data.lmp,
        and in.lmp keeps them and skips the start of a packed box), .dump or .lammpstrj (a
        LAMMPS text dump, custom or atom style: atoms by id; x y z with image flags, xu yu zu,
        or xs ys zs; box from its bounds; vx vy vz kept as velocities), .gro (GROMACS: nm
        and nm/ps converted to Å and Å/fs) or .json (RASPA3's final configuration,
        output/restart_*.s0.json: positions by component, the species' names, a four-site
        water's M site dropped; its cubic box). A file whose atom count differs from what the
        species and counts need is refused, naming both counts. Required.
    box_len : float or None
        Edge of the cubic box, Å; the box spans 0 to *box_len* on every axis. May be left out
        when *coords* is a file that states a cubic box; given, it must agree with that box.
    pair_style, explicit_lb, force_field, out_dir
        As for `packmol`.
    temperature, pressure, timestep : float, or DEFAULT
        As for `packmol`. Not given (`DEFAULT`), those of a *coords* file named final.data are
        the ones of the in.lmp beside it, when boxwright wrote that in.lmp (a rebuild goes on
        from where its run stopped, as it ran), else 298.15 K, 1.0 atm and 1.0 fs; a note of the
        report says where each came from. A *pressure_unit* other than atm counts as a pressure
        given.
    input_script, steps, pressure_unit, thermostat_damping, barostat_damping, thermo_every
        As for `packmol`.
    dump_every, start_steps, handover_steps, cutoff, coulomb_cutoff, kspace_accuracy
        As for `packmol`.
    equilibrated : bool
        The positions are an equilibrated fluid's (another program's run, without velocities):
        in.lmp neither minimises them nor limits their first moves, but draws velocities at the
        temperature and starts with a short thermostatted run. A file with velocities keeps them.
    check_names : bool
        For a coordinate file that names its atoms: compare each name with the pseudo-atom name
        the molecule files expect at its place (in a PDB file, its first four characters; in a
        .gro file, five), so a file in another order is refused; a dump's type column is
        compared with the build's atom types alike. Turn it off for files whose names are
        element symbols.
    frame : int or None
        The frame of a coordinate file of several (an XYZ or .gro trajectory, the models of a
        PDB file, a dump): from 1 at the start, or from -1 at the end; None reads the last. The
        report notes which frame of how many was read; only that frame is held in memory.
    check_bonds : bool
        Compare the length of every bond, its molecule made whole by the minimum image, with
        the distance of the same two atoms in the molecule file: a bond off by more than 25 %,
        or longer than half the box, raises `BuildError` naming the molecule, the two atoms
        and both lengths, and nothing is written. It finds coordinates in another atom order,
        atoms swapped between molecules and lengths in another unit.
    strict, mole_fractions, molecules
        As for `packmol`.

    Returns
    -------
    BuildReport
        The report; ``str(report)`` is the build summary.
    """
    return _from_coords(
        species, counts, coords, box_len, pair_style, explicit_lb, force_field, out_dir,
        input_script=input_script, temperature=temperature, pressure=pressure,
        timestep=timestep, steps=steps, pressure_unit=pressure_unit,
        thermostat_damping=thermostat_damping, barostat_damping=barostat_damping,
        thermo_every=thermo_every, dump_every=dump_every, start_steps=start_steps,
        handover_steps=handover_steps, cutoff=cutoff, coulomb_cutoff=coulomb_cutoff,
        kspace_accuracy=kspace_accuracy, check_names=check_names, check_bonds=check_bonds,
        frame=frame, equilibrated=equilibrated,
        strict=strict, mole_fractions=mole_fractions, molecules=molecules)


def raspa(
    species: StrPath | Sequence[StrPath],
    counts: Sequence[int] | None = None,
    density: float | None = None,
    pair_style: PairStyle = "auto",
    explicit_lb: bool = False,
    force_field: StrPath | None = None,
    out_dir: StrPath = ".",
    *,
    box_len: float | None = None,
    input_script: bool = True,
    temperature: float = 298.15,
    pressure: float | None = 1.0,
    timestep: float = 1.0,
    steps: int = 100000,
    pressure_unit: PressureUnit = "atm",
    thermostat_damping: float = 100.0,
    barostat_damping: float = 1000.0,
    thermo_every: int = 1000,
    dump_every: int = 1000,
    start_steps: int = 10000,
    handover_steps: int = 5000,
    cutoff: float | None = None,
    coulomb_cutoff: float | None = None,
    kspace_accuracy: float | None = None,
    init_cycles: int = 200,
    cycles: int = 300,
    seed: int | None = None,
    timeout: float | None = None,
    progress: Callable[[Progress], object] | None = None,
    raspa3: StrPath | None = None,
    keep_raspa_dir: StrPath | None = None,
    strict: bool = False,
    mole_fractions: Sequence[float] | None = None,
    molecules: int | None = None,
) -> BuildReport:
    """Place and equilibrate the mixture with RASPA3, then write data.lmp, forcefield.lmp and
    in.lmp into *out_dir* from its final positions.

    `boxwright.raspa_init.pack_with_raspa3` runs RASPA3's Monte Carlo (configurational-bias
    insertion and regrowth of flexible molecules, translations and rotations of rigid ones) at
    *temperature*, and with *pressure* volume moves too; `from_coords` then writes the files
    from the positions and the box it ends with, and in.lmp starts them as equilibrated. Dense
    liquids and long chains that Packmol's geometric packing leaves strained start relaxed, at
    a cost of cycles × molecules Monte Carlo moves.

    Parameters
    ----------
    species, counts, density, pair_style, explicit_lb, force_field, out_dir
        As for `packmol`; *density* sets the starting cube (or give *box_len*, Å).
    input_script, temperature, pressure, timestep, steps, pressure_unit, cutoff, coulomb_cutoff
        As for `packmol`. *temperature* and *pressure* (in *pressure_unit*) hold for RASPA3 as
        for the LAMMPS run: a pressure makes RASPA3's run NPT, None NVT at the density. RASPA3
        runs with the
        run's Lennard-Jones and Coulomb cutoffs, at most half the box, truncated Lennard-Jones
        with tail corrections and an Ewald sum, so its final energy is LAMMPS's first pe.
    kspace_accuracy, thermostat_damping, barostat_damping, thermo_every, dump_every
        As for `packmol`.
    start_steps, handover_steps
        As for `packmol`; in.lmp starts RASPA3's positions as equilibrated, without a
        minimisation.
    init_cycles, cycles, seed, timeout, progress, raspa3
        As for `boxwright.raspa_init.pack_with_raspa3`.
    keep_raspa_dir : path or None
        Run RASPA3 in this directory and keep its input and output there.
    strict, mole_fractions, molecules
        As for `packmol`.

    Returns
    -------
    BuildReport
        The report; its `raspa` states RASPA3's cycles, final energy, acceptance ratios and,
        with a pressure, the box it reached.
    """
    return _raspa(
        species, counts, density, pair_style, explicit_lb, force_field, out_dir,
        box_len=box_len, input_script=input_script, temperature=temperature, pressure=pressure,
        timestep=timestep, steps=steps, pressure_unit=pressure_unit,
        thermostat_damping=thermostat_damping, barostat_damping=barostat_damping,
        thermo_every=thermo_every, dump_every=dump_every, start_steps=start_steps,
        handover_steps=handover_steps, cutoff=cutoff, coulomb_cutoff=coulomb_cutoff,
        kspace_accuracy=kspace_accuracy, init_cycles=init_cycles, cycles=cycles, seed=seed,
        timeout=timeout, progress=progress, raspa3=raspa3, keep_raspa_dir=keep_raspa_dir,
        strict=strict, mole_fractions=mole_fractions, molecules=molecules)


def _raspa(species, counts=None, density=None, pair_style: Any = "auto", explicit_lb=False,
           force_field=None, out_dir: Any = ".", *, box_len=None, temperature=298.15,
           pressure: float | None = 1.0, pressure_unit: str = "atm", cutoff=None,
           coulomb_cutoff=None, init_cycles=200, cycles=300, seed=None, timeout=None,
           progress=None, raspa3=None, keep_raspa_dir=None, strict=False, mole_fractions=None,
           molecules=None, **run: Any) -> BuildReport:
    """`raspa`; *run* holds the LAMMPS run's other settings, and `option_naming` for the LAMMPS
    files' build, as `_packmol` has it."""
    from .raspa_init import pack_with_raspa3  # the one imports the other

    result = pack_with_raspa3(
        species, counts, density, force_field, box_len=box_len, temperature=temperature,
        pressure=pressure, pressure_unit=pressure_unit, init_cycles=init_cycles, cycles=cycles,
        seed=seed, timeout=timeout, progress=progress, raspa3=raspa3, keep_dir=keep_raspa_dir,
        cutoff=cutoff, coulomb_cutoff=coulomb_cutoff, strict=strict,
        mole_fractions=mole_fractions, molecules=molecules)
    paths, force_fields = _inputs(species, force_field)
    built = BuildReport.from_engine(build_from_coords(
        paths, list(result.counts), result.positions, result.box_len,
        pair_style=_pair_code(pair_style), explicit_lb=explicit_lb, **force_fields,
        out_dir=_path(out_dir, "out_dir"), temperature=temperature, pressure=pressure,
        pressure_unit=pressure_unit, cutoff=cutoff, coulomb_cutoff=coulomb_cutoff,
        strict=strict, equilibrated=True, **run))
    run_done = RaspaRun(result.init_cycles, result.cycles, result.energy_k, result.energy_kcal,
                        result.box_len, pressure, result.cutoff_vdw, result.cutoff_coulomb,
                        result.acceptance, pressure_unit)
    # The input's checks ran in both builds; RASPA3's run and the rounding of mole fractions only
    # in the first.
    own = tuple(d for d in result.diagnostics if d.kind in ("raspa3", "composition"))
    return _warned(lambda: dataclasses.replace(
        built, diagnostics=own + built.diagnostics,
        warnings=tuple(d.text for d in own if d.level == "warning") + built.warnings,
        raspa=run_done),
        species)


def _from_coords(species, counts, coords, box_len, pair_style, explicit_lb, force_field, out_dir,
                 *, bond_check_off: str = "check_bonds=False", **keywords: Any) -> BuildReport:
    """`from_coords`, with the words that turn the bond check off where the caller is.

    A failed bond check names them; the command line gives its own option. The run settings
    left at `DEFAULT` go to the engine as not given.
    """
    if keywords.get("pressure_unit", "atm") != "atm" and keywords.get("pressure") is DEFAULT:
        del keywords["pressure"]  # a unit given is a pressure given: 1.0 of it
    given = tuple(name for name in SETTINGS_BESIDE if keywords.get(name) is not DEFAULT)
    keywords = {name: value for name, value in keywords.items() if value is not DEFAULT}
    if coords is None:
        raise TypeError("from_coords() missing required argument: 'coords'")
    is_file = isinstance(coords, (str, os.PathLike))
    if box_len is None and not is_file:
        raise TypeError("from_coords() needs box_len unless coords is a file that states a box")
    paths, force_fields = _inputs(species, force_field)
    return _warned(lambda: build_from_coords(
        paths, counts, _path(coords, "coords") if is_file else coords, box_len,
        pair_style=_pair_code(pair_style), explicit_lb=explicit_lb, **force_fields,
        out_dir=_path(out_dir, "out_dir"),
        bond_check_off=bond_check_off, run_given=given, **keywords), species)
