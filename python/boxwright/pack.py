"""Build the LAMMPS input files for a mixture in a cubic box: data.lmp, forcefield.lmp and in.lmp.

Two ways in:

* `packmol` packs the molecules itself with the external Packmol program at a target density,
  in one Packmol run, or with ``jobs=N`` in a grid of sub-boxes packed N at a time (one Packmol
  each), which uses every core and is faster even on one;
* `from_coords` takes atom positions the caller already has (for example from an equilibration
  run elsewhere) together with the box edge.

Both write data.lmp and forcefield.lmp exactly as `boxwright._native` does, and by default in.lmp
beside them: a LAMMPS input that runs the system as it is (constraints for the rigid species, a
start that survives packed contacts, then NPT or NVT). They accept `pathlib.Path` (any
`os.PathLike`) wherever a path goes and return a `BuildReport`: `str(report)` is the build
summary, and the report adds each species' mass and charge, the density, the net charge, the
closest contact between molecules and every warning of the build. A failing build raises
`RuntimeError` whose only argument is the message; bad arguments raise `TypeError`,
`OverflowError` or `ValueError`.

Example::

    from boxwright import pack
    report = pack.packmol(["examples/co2.json", "examples/butane.json"], [50, 50], 600.0,
                          force_field="examples/force_field.json", out_dir="out")
    print(report.format())
"""

from __future__ import annotations

import os
from collections.abc import Callable, Sequence
from typing import Any, Literal, TypeAlias

from ._engine import build_from_coords, build_packmol
from ._native import PyPairSetup
from .progress import Progress
from .report import BuildReport

__all__ = ["PyPairSetup", "BuildReport", "Progress", "packmol", "from_coords"]

StrPath: TypeAlias = str | os.PathLike[str]
PairStyle: TypeAlias = PyPairSetup | Literal["auto"] | None


def _path(value: Any) -> Any:
    # Anything that is not a path-like object goes through unchanged, so the native binding
    # reports a wrong type with its usual message and note.
    return os.fspath(value) if isinstance(value, os.PathLike) else value


def _paths(values: Any) -> Any:
    # A single path where a list belongs must fail as it does natively, not be split into
    # characters; so only real collections are converted.
    if isinstance(values, (str, bytes, os.PathLike)) or not isinstance(values, Sequence):
        return values
    return [_path(v) for v in values]


def _pair_code(pair_style: Any) -> int | str | None:
    """The engine's form of a preset: its integer code, "auto" or None."""
    if isinstance(pair_style, PyPairSetup):
        return int(pair_style)
    if pair_style is None or pair_style == "auto":
        return pair_style
    raise TypeError(f"pair_style must be 'auto', a PyPairSetup or None, not {pair_style!r}")


def _progress_call(progress: Any) -> Any:
    """The engine's form of a progress callback, which it calls with four numbers. Anything not
    callable goes through unchanged, for the engine to refuse with its usual message and note."""
    if not callable(progress):
        return progress
    return lambda done, total, elapsed, remaining: progress(
        Progress(done, total, elapsed, remaining))


def packmol(
    species: Sequence[StrPath],
    counts: Sequence[int],
    density: float,
    pair_style: PairStyle = "auto",
    explicit_lb: bool = False,
    force_field: StrPath = "force_field.json",
    out_dir: StrPath = ".",
    tolerance: float = 2.0,
    *,
    input_script: bool = True,
    temperature: float = 298.15,
    pressure: float | None = 1.0,
    timestep: float = 1.0,
    steps: int = 100000,
    jobs: int | None = None,
    seed: int | None = None,
    subboxes: Sequence[int] | None = None,
    timeout: float | None = None,
    progress: Callable[[Progress], object] | None = None,
) -> BuildReport:
    """Pack the mixture with Packmol and write data.lmp, forcefield.lmp and in.lmp into *out_dir*.

    Parameters
    ----------
    species : sequence of str or os.PathLike
        Molecule JSON files, one per species; each species is named after its file's stem.
    counts : sequence of int
        Number of molecules per species (same order as *species*); 0 leaves a species out.
    density : float
        Target mass density of the mixture, kg/m³; sets the edge of the cubic box.
    pair_style : "auto", PyPairSetup or None
        Pair-style preset written into forcefield.lmp. "auto" takes LjCutCoulLong when any atom
        of the build carries a charge and LjCut otherwise; None leaves the pair style to you.
    explicit_lb : bool
        Write a pair_coeff line for every unlike pair (Lorentz-Berthelot) instead of letting
        LAMMPS mix them.
    force_field : str or os.PathLike
        The force-field JSON file.
    out_dir : str or os.PathLike
        Output directory, created with its parents when missing.
    tolerance : float
        Minimum distance Packmol keeps between atoms of different molecules, Å.
    input_script : bool
        Write in.lmp beside the two files.
    temperature : float
        Temperature of the run in in.lmp, K.
    pressure : float or None
        Pressure of the NPT run in in.lmp, atm; None runs NVT at the density as built.
    timestep : float
        Timestep of the run in in.lmp, fs.
    steps : int
        Steps of the production run in in.lmp.
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
        written and `RuntimeError` says so.
    progress : callable or None
        Called with a `Progress` after each Packmol run; an exception it raises stops the
        packing and is raised from here, as Ctrl-C is.

    Returns
    -------
    BuildReport
        The report; ``str(report)`` is the build summary.
    """
    if jobs is None and (seed is not None or subboxes is not None):
        raise ValueError("seed and subboxes apply to a box split into sub-boxes: give jobs too")
    return BuildReport.from_engine(build_packmol(
        _paths(species), counts, density, pair_style=_pair_code(pair_style),
        explicit_lb=explicit_lb, force_field=_path(force_field), out_dir=_path(out_dir),
        tolerance=tolerance, input_script=input_script, temperature=temperature,
        pressure=pressure, timestep=timestep, steps=steps, jobs=jobs, seed=seed,
        subboxes=subboxes, timeout=timeout, progress=_progress_call(progress)))


def from_coords(
    species: Sequence[StrPath],
    counts: Sequence[int],
    coords: Sequence[Sequence[float]],
    box_len: float,
    pair_style: PairStyle = "auto",
    explicit_lb: bool = False,
    force_field: StrPath = "force_field.json",
    out_dir: StrPath = ".",
    *,
    input_script: bool = True,
    temperature: float = 298.15,
    pressure: float | None = 1.0,
    timestep: float = 1.0,
    steps: int = 100000,
) -> BuildReport:
    """Write data.lmp, forcefield.lmp and in.lmp into *out_dir* for positions computed elsewhere.

    Parameters
    ----------
    species : sequence of str or os.PathLike
        Molecule JSON files, one per species; each species is named after its file's stem.
    counts : sequence of int
        Number of molecules per species (same order as *species*); 0 leaves a species out.
    coords : sequence of [x, y, z], or a float64 buffer of shape (n, 3)
        One position per atom, Å, in species → molecule → atom order (atoms in the order of
        the molecule file). Positions are written as given, not wrapped into the box.
    box_len : float
        Edge of the cubic box, Å; the box spans 0 to *box_len* on every axis.
    pair_style, explicit_lb, force_field, out_dir
        As for `packmol`.
    input_script, temperature, pressure, timestep, steps
        As for `packmol`.

    Returns
    -------
    BuildReport
        The report; ``str(report)`` is the build summary.
    """
    return BuildReport.from_engine(build_from_coords(
        _paths(species), counts, coords, box_len, pair_style=_pair_code(pair_style),
        explicit_lb=explicit_lb, force_field=_path(force_field), out_dir=_path(out_dir),
        input_script=input_script, temperature=temperature, pressure=pressure,
        timestep=timestep, steps=steps))
