"""Native extension module of the boxwright package, imported as `boxwright._native`."""

from collections.abc import Buffer, Sequence
from typing import ClassVar, SupportsFloat, SupportsIndex, final

__all__ = ["PyPairSetup", "pack_packmol_py", "pack_from_coords_py"]

@final
class PyPairSetup:
    """Python-exposed PairSetup enum"""

    Tip4p: ClassVar[PyPairSetup]
    LjCut: ClassVar[PyPairSetup]
    LjCutCoulLong: ClassVar[PyPairSetup]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

def pack_packmol_py(
    species: Sequence[str],
    counts: Sequence[SupportsIndex],
    density: SupportsFloat | SupportsIndex,
    pair_style: PyPairSetup | None = ...,
    explicit_lb: bool = False,
    force_field: str = "force_field.json",
    out_dir: str = ".",
    tolerance: SupportsFloat | SupportsIndex = 2.0,
) -> str:
    """Pack with Packmol and write LAMMPS files.

    Called by ``boxwright.pack.packmol()``."""

def pack_from_coords_py(
    species: Sequence[str],
    counts: Sequence[SupportsIndex],
    coords: Sequence[Sequence[SupportsFloat | SupportsIndex]] | Buffer,
    box_len: SupportsFloat | SupportsIndex,
    pair_style: PyPairSetup | None = ...,
    explicit_lb: bool = False,
    force_field: str = "force_field.json",
    out_dir: str = ".",
) -> str:
    """Write LAMMPS files from **pre-computed** coordinates (used by the raspa path).

    Called by ``boxwright.pack.raspa()`` after
    ``boxwright.raspa_init.pack_with_raspa3()`` returns the equilibrated
    geometry.

    Parameters
    ----------
    species : list[str]
        Molecule JSON paths, one per species.
    counts : list[int]
        Number of molecules per species (same order as *species*).
    coords : list[list[float]]
        Atom positions as ``[[x, y, z], ...]`` in species → molecule → atom
        order.  Length must equal the total atom count.
    box_len : float
        Cubic box edge length, Å.
    pair_style : PyPairSetup | None
        Pair-style preset for ``forcefield.lmp``.
    explicit_lb : bool
        Write all Lorentz-Berthelot cross-pairs explicitly.
    force_field : str
        Path to ``force_field.json``.
    out_dir : str
        Output directory for ``data.lmp`` and ``forcefield.lmp``.
    """
