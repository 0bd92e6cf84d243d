"""Place and equilibrate a mixture with RASPA3's Monte Carlo, for the LAMMPS files of `pack.raspa`.

`pack_with_raspa3` takes the same species, counts (or mole fractions), force field and density (or
box edge) as `pack.packmol`, writes RASPA3's own input for them into a private temporary directory
(simulation.json, force_field.json and one molecule file per species: rigid species as rigid
bodies, a four-site water with its M site as an explicit massless atom, flexible species grown
and regrown by configurational-bias Monte Carlo), runs the external ``raspa3`` there and reads its
final configuration back: positions in species → molecule → atom order (M sites dropped, every
molecule whole) and the edge of the cubic box, which `pack.from_coords` turns into data.lmp,
forcefield.lmp and in.lmp. RASPA3 uses the Lennard-Jones and Coulomb cutoffs the LAMMPS run will
use (at most half the box), truncated Lennard-Jones with tail corrections and an Ewald sum, so its
final energy is the potential energy LAMMPS computes at the first step of the written files.

RASPA3 is found as the *raspa3* argument, else the environment variable BOXWRIGHT_RASPA3, else
``raspa3`` on PATH. Its failures raise `BuildError` with RASPA3's own message; Ctrl-C, SIGTERM,
an exception from the progress callback and the time limit stop it, remove its directory and
leave nothing behind.
"""

from __future__ import annotations

import os
from collections.abc import Callable, Sequence
from dataclasses import dataclass
from typing import Any

from . import pack as _pack
from ._engine import run_raspa3
from .progress import Progress
from .report import Diagnostic, MoveAcceptance

__all__ = ["MoveAcceptance", "RaspaResult", "pack_with_raspa3"]


@dataclass(frozen=True)
class RaspaResult:
    """What a RASPA3 run left: `positions` is a read-only float64 memoryview of shape (atoms, 3),
    Å, in species → molecule → atom order, which `pack.from_coords` takes as it is; `box_len` the
    edge of the cube at the end (with a pressure, the box RASPA3 reached). `energy_k` is RASPA3's
    final total potential energy over k_B, K, and `energy_kcal` the same in kcal/mol, the unit of
    LAMMPS's pe. `diagnostics` are the notes and warnings of the run."""

    positions: memoryview[float]
    box_len: float
    counts: tuple[int, ...]
    energy_k: float
    init_cycles: int
    cycles: int
    cutoff_vdw: float
    cutoff_coulomb: float
    acceptance: tuple[MoveAcceptance, ...]
    diagnostics: tuple[Diagnostic, ...]

    @property
    def energy_kcal(self) -> float:
        return self.energy_k * KB_KCAL_PER_K


# kcal/mol per kelvin, as the LAMMPS files convert every energy read in kelvin.
KB_KCAL_PER_K = 0.0019872041


def pack_with_raspa3(
    species: str | os.PathLike[str] | Sequence[str | os.PathLike[str]],
    counts: Sequence[int] | None = None,
    density: float | None = None,
    force_field: str | os.PathLike[str] | None = None,
    *,
    box_len: float | None = None,
    temperature: float = 298.15,
    pressure: float | None = None,
    init_cycles: int = 200,
    cycles: int = 300,
    seed: int | None = None,
    timeout: float | None = None,
    progress: Callable[[Progress], object] | None = None,
    raspa3: str | os.PathLike[str] | None = None,
    keep_dir: str | os.PathLike[str] | None = None,
    cutoff: float | None = None,
    coulomb_cutoff: float | None = None,
    strict: bool = False,
    mole_fractions: Sequence[float] | None = None,
    molecules: int | None = None,
    pressure_unit: str = "atm",
) -> RaspaResult:
    """Run RASPA3 on the mixture and return its final positions and box.

    Parameters
    ----------
    species, counts, force_field, mole_fractions, molecules, strict
        As for `pack.packmol`.
    density : float or None
        Mass density of the starting cube, kg/m³; or give *box_len*.
    box_len : float or None
        Edge of the starting cube, Å, in place of *density*.
    temperature : float
        Temperature of the Monte Carlo run, K.
    pressure : float or None
        Pressure, in *pressure_unit*: volume moves let the box find its density (NPT). None
        keeps the box (NVT).
    pressure_unit : str
        "atm", "bar", "kPa", "MPa" or "Pa"; RASPA3 is given the pressure in pascal.
    init_cycles, cycles : int
        RASPA3's initialisation and production cycles. A cycle is one attempted move per molecule
        (at least 20 moves), so the cost grows as cycles × molecules; flexible molecules cost more
        per move (configurational-bias regrowth).
    seed : int or None
        RASPA3's random seed, for a repeatable run; None lets RASPA3 choose.
    timeout : float or None
        Seconds RASPA3 may run; then it is stopped and `BuildError` says so.
    progress : callable or None
        Called with a `Progress` counting cycles (initialisation and production together) as
        RASPA3 reports them; an exception it raises stops RASPA3 and is raised from here.
    raspa3 : path or None
        The RASPA3 program; else $BOXWRIGHT_RASPA3, else ``raspa3`` on PATH.
    keep_dir : path or None
        Run RASPA3 in this directory, created when missing, and keep its input and output there
        for inspection, rather than in a temporary directory that is removed.
    cutoff, coulomb_cutoff : float or None
        The Lennard-Jones and Coulomb cutoffs, Å, of the LAMMPS run that follows (default: the
        force field's CutOffVDW and the preset's 10 Å); RASPA3 takes them, at most half the box.
    """
    paths, force_fields = _pack._inputs(species, force_field)
    built = run_raspa3(
        paths, counts, density=density, box_len=box_len, **force_fields,
        temperature=temperature, pressure=pressure, init_cycles=init_cycles, cycles=cycles,
        seed=seed, timeout=timeout, progress=_cycles_call(progress),
        raspa3=None if raspa3 is None else _pack._path(raspa3, "raspa3"),
        keep_dir=None if keep_dir is None else _pack._path(keep_dir, "keep_dir"),
        cutoff=cutoff, coulomb_cutoff=coulomb_cutoff, strict=strict,
        mole_fractions=mole_fractions, molecules=molecules, pressure_unit=pressure_unit)
    return _result(built)


def _cycles_call(progress: Any) -> Any:
    """The engine's form of a progress callback, counting cycles."""
    if not callable(progress):
        return progress
    return lambda done, total, elapsed, remaining: progress(
        Progress(done, total, elapsed, remaining, "RASPA3", "cycles"))


def _result(built: dict[str, Any]) -> RaspaResult:
    positions = memoryview(built["positions"]).cast("d", (built["atoms"], 3))
    return RaspaResult(
        positions=positions,
        box_len=built["box_length"],
        counts=tuple(built["counts"]),
        energy_k=built["energy_k"],
        init_cycles=built["init_cycles"],
        cycles=built["cycles"],
        cutoff_vdw=built["cutoff_vdw"],
        cutoff_coulomb=built["cutoff_coulomb"],
        acceptance=tuple(MoveAcceptance(**a) for a in built["acceptance"]),
        diagnostics=tuple(Diagnostic(**d) for d in built["diagnostics"]),
    )
