"""Build the LAMMPS input files data.lmp and forcefield.lmp for a mixture in a cubic box.

Two ways in:

* `packmol` packs the molecules itself with the external Packmol program at a target density;
* `from_coords` takes atom positions the caller already has (for example from an equilibration
  run elsewhere) together with the box edge.

Both are thin wrappers over `boxwright._native`: they accept `pathlib.Path` (any `os.PathLike`)
wherever a path goes, and return the build summary, a few lines naming the files written, the
size of the system and every warning of the build. A failing build raises `RuntimeError` whose
only argument is the message; bad arguments raise `TypeError`, `OverflowError` or `ValueError`.

Example::

    from boxwright import pack
    print(pack.packmol(["examples/co2.json", "examples/butane.json"], [50, 50], 600.0,
                       force_field="examples/force_field.json", out_dir="out"))
"""

from __future__ import annotations

import os
from collections.abc import Sequence
from typing import Any, TypeAlias

from ._native import PyPairSetup, pack_from_coords_py, pack_packmol_py

__all__ = ["PyPairSetup", "packmol", "from_coords"]

StrPath: TypeAlias = str | os.PathLike[str]


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


def packmol(
    species: Sequence[StrPath],
    counts: Sequence[int],
    density: float,
    pair_style: PyPairSetup | None = PyPairSetup.LjCut,
    explicit_lb: bool = False,
    force_field: StrPath = "force_field.json",
    out_dir: StrPath = ".",
    tolerance: float = 2.0,
) -> str:
    """Pack the mixture with Packmol and write data.lmp and forcefield.lmp into *out_dir*.

    Parameters
    ----------
    species : sequence of str or os.PathLike
        Molecule JSON files, one per species; each species is named after its file's stem.
    counts : sequence of int
        Number of molecules per species (same order as *species*); 0 leaves a species out.
    density : float
        Target mass density of the mixture, kg/m³; sets the edge of the cubic box.
    pair_style : PyPairSetup or None
        Pair-style preset written into forcefield.lmp; None leaves the pair style to you.
    explicit_lb : bool
        Write a pair_coeff line for every unlike pair (Lorentz-Berthelot) instead of letting
        LAMMPS mix them.
    force_field : str or os.PathLike
        The force-field JSON file.
    out_dir : str or os.PathLike
        Output directory, created with its parents when missing.
    tolerance : float
        Minimum distance Packmol keeps between atoms of different molecules, Å.

    Returns
    -------
    str
        The build summary.
    """
    return pack_packmol_py(
        _paths(species),
        counts,
        density,
        pair_style,
        explicit_lb,
        _path(force_field),
        _path(out_dir),
        tolerance,
    )


def from_coords(
    species: Sequence[StrPath],
    counts: Sequence[int],
    coords: Sequence[Sequence[float]],
    box_len: float,
    pair_style: PyPairSetup | None = PyPairSetup.LjCut,
    explicit_lb: bool = False,
    force_field: StrPath = "force_field.json",
    out_dir: StrPath = ".",
) -> str:
    """Write data.lmp and forcefield.lmp into *out_dir* for positions computed elsewhere.

    Parameters
    ----------
    species : sequence of str or os.PathLike
        Molecule JSON files, one per species; each species is named after its file's stem.
    counts : sequence of int
        Number of molecules per species (same order as *species*); 0 leaves a species out.
    coords : sequence of [x, y, z]
        One position per atom, Å, in species → molecule → atom order (atoms in the order of
        the molecule file). Positions are written as given, not wrapped into the box.
    box_len : float
        Edge of the cubic box, Å; the box spans 0 to *box_len* on every axis.
    pair_style : PyPairSetup or None
        Pair-style preset written into forcefield.lmp; None leaves the pair style to you.
    explicit_lb : bool
        Write a pair_coeff line for every unlike pair (Lorentz-Berthelot) instead of letting
        LAMMPS mix them.
    force_field : str or os.PathLike
        The force-field JSON file.
    out_dir : str or os.PathLike
        Output directory, created with its parents when missing.

    Returns
    -------
    str
        The build summary.
    """
    return pack_from_coords_py(
        _paths(species),
        counts,
        coords,
        box_len,
        pair_style,
        explicit_lb,
        _path(force_field),
        _path(out_dir),
    )
