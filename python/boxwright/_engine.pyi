"""Native capabilities of the boxwright package beyond `boxwright._native`."""

from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex

__all__ = ["build_from_coords_file"]

def build_from_coords_file(
    species: Sequence[str],
    counts: Sequence[SupportsIndex],
    coords_path: str,
    box_len: SupportsFloat | SupportsIndex | None,
    pair_style: int | None,
    explicit_lb: bool,
    force_field: str,
    out_dir: str,
    check_names: bool,
) -> str:
    """Write data.lmp and forcefield.lmp for the positions in a coordinate file (.xyz, .extxyz,
    .pdb, .data or .lmp); return the build summary. box_len may be None when the file states a
    cubic box; pair_style is a preset's code (0 Tip4p, 1 LjCut, 2 LjCutCoulLong) or None."""
