"""Build the LAMMPS input files data.lmp and forcefield.lmp for a mixture in a cubic box.

Two ways in:

* `packmol` packs the molecules itself with the external Packmol program at a target density;
* `from_coords` takes atom positions the caller already has (for example from an equilibration
  run elsewhere): rows or a float64 (n, 3) buffer together with the box edge, or a coordinate
  file (XYZ, PDB or a LAMMPS data file), read natively, whose cubic box may stand in for the edge.

Both are thin wrappers over the native modules: they accept `pathlib.Path` (any `os.PathLike`)
wherever a path goes, a single path for one species, and a preset by its command-line name
("tip4p", "lj-cut", "lj-cut-coul-long", "none") as well as a `PyPairSetup`. They return the build
summary, a few lines naming the files written, the size of the system and every warning of the
build. A failing build raises `RuntimeError` whose only argument is the message; bad arguments
raise `TypeError`, `OverflowError` or `ValueError`.

Example::

    from boxwright import pack
    print(pack.packmol(["examples/co2.json", "examples/butane.json"], [50, 50], 600.0,
                       force_field="examples/force_field.json", out_dir="out"))
"""

from __future__ import annotations

import os
from collections.abc import Buffer, Sequence
from typing import Any, TypeAlias

from ._engine import build_from_coords_file
from ._native import PyPairSetup, pack_from_coords_py, pack_packmol_py

__all__ = ["PyPairSetup", "PAIR_STYLES", "packmol", "from_coords"]

StrPath: TypeAlias = str | os.PathLike[str]
PairStyle: TypeAlias = PyPairSetup | str | None

# The presets by the names the command line gives them.
PAIR_STYLES: dict[str, PyPairSetup | None] = {
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


def _pair_setup(value: Any) -> PyPairSetup | None:
    if value is None or isinstance(value, PyPairSetup):
        return value
    names = ", ".join(repr(name) for name in PAIR_STYLES)
    if isinstance(value, str):
        if value not in PAIR_STYLES:
            raise ValueError(f"pair_style {value!r} is not a preset; expected one of {names}")
        return PAIR_STYLES[value]
    raise TypeError(f"pair_style must be a PyPairSetup, None or one of {names}, "
                    f"not {type(value).__name__}")


def packmol(
    species: StrPath | Sequence[StrPath],
    counts: Sequence[int],
    density: float,
    pair_style: PairStyle = PyPairSetup.LjCut,
    explicit_lb: bool = False,
    force_field: StrPath = "force_field.json",
    out_dir: StrPath = ".",
    tolerance: float = 2.0,
) -> str:
    """Pack the mixture with Packmol and write data.lmp and forcefield.lmp into *out_dir*.

    Parameters
    ----------
    species : str, os.PathLike or a sequence of them
        Molecule JSON files, one per species; each species is named after its file's stem.
    counts : sequence of int
        Number of molecules per species (same order as *species*); 0 leaves a species out.
    density : float
        Target mass density of the mixture, kg/m³; sets the edge of the cubic box.
    pair_style : PyPairSetup, str or None
        Pair-style preset written into forcefield.lmp, also by its name in PAIR_STYLES ("tip4p",
        "lj-cut", "lj-cut-coul-long"); None or "none" leaves the pair style to you.
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
        _species(species),
        counts,
        density,
        _pair_setup(pair_style),
        explicit_lb,
        _path(force_field, "force_field"),
        _path(out_dir, "out_dir"),
        tolerance,
    )


def from_coords(
    species: StrPath | Sequence[StrPath],
    counts: Sequence[int],
    coords: StrPath | Sequence[Sequence[float]] | Buffer,
    box_len: float | None = None,
    pair_style: PairStyle = PyPairSetup.LjCut,
    explicit_lb: bool = False,
    force_field: StrPath = "force_field.json",
    out_dir: StrPath = ".",
    check_names: bool = True,
) -> str:
    """Write data.lmp and forcefield.lmp into *out_dir* for positions computed elsewhere.

    Parameters
    ----------
    species : str, os.PathLike or a sequence of them
        Molecule JSON files, one per species; each species is named after its file's stem.
    counts : sequence of int
        Number of molecules per species (same order as *species*); 0 leaves a species out.
    coords : path, sequence of [x, y, z], or a float64 (n, 3) buffer
        One position per atom, Å, in species → molecule → atom order (atoms in the order of
        the molecule file). Positions are written as given, not wrapped into the box. A path
        names a coordinate file, read natively after the force field and the species have been
        checked: .xyz or .extxyz (count line, comment line, "name x y z" lines; an extended XYZ
        Lattice may state a cubic box), .pdb (ATOM/HETATM records of the first model, CRYST1 for
        the box), .data or .lmp (a LAMMPS data file, atom style full: atoms by ID, image flags
        applied, box from its bounds). A file whose atom count differs from what the species
        and counts need is refused, naming both counts.
    box_len : float or None
        Edge of the cubic box, Å; the box spans 0 to *box_len* on every axis. May be left out
        when *coords* is a file that states a cubic box; given, it must agree with that box.
    pair_style : PyPairSetup, str or None
        Pair-style preset written into forcefield.lmp, also by its name in PAIR_STYLES ("tip4p",
        "lj-cut", "lj-cut-coul-long"); None or "none" leaves the pair style to you.
    explicit_lb : bool
        Write a pair_coeff line for every unlike pair (Lorentz-Berthelot) instead of letting
        LAMMPS mix them.
    force_field : str or os.PathLike
        The force-field JSON file.
    out_dir : str or os.PathLike
        Output directory, created with its parents when missing.
    check_names : bool
        For a coordinate file that names its atoms: compare each name with the pseudo-atom name
        the molecule files expect at its place (in a PDB file, its first four characters), so a
        file in another order is refused. Turn it off for files whose names are element symbols.

    Returns
    -------
    str
        The build summary.
    """
    setup = _pair_setup(pair_style)
    if isinstance(coords, (str, os.PathLike)):
        return build_from_coords_file(
            _species(species),
            counts,
            _path(coords, "coords"),
            box_len,
            None if setup is None else int(setup),
            explicit_lb,
            _path(force_field, "force_field"),
            _path(out_dir, "out_dir"),
            check_names,
        )
    if box_len is None:
        raise TypeError("from_coords() needs box_len unless coords is a file that states a box")
    return pack_from_coords_py(
        _species(species),
        counts,
        coords,
        box_len,
        setup,
        explicit_lb,
        _path(force_field, "force_field"),
        _path(out_dir, "out_dir"),
    )
