"""The build report that `boxwright.pack.packmol` and `boxwright.pack.from_coords` return.

`str(report)` is the build summary (the files written, the size of the system, its warnings and
notes), as `boxwright._native` returns it but with a note labelled "note:"; the report adds the
numbers a user would otherwise dig out of logs, and every warning of the build, including those
about set-ups that are physically doubtful or that LAMMPS would refuse.
"""

from __future__ import annotations

from dataclasses import asdict, dataclass
from typing import Any

from .errors import shown_path

__all__ = ["AtomType", "BuildReport", "Diagnostic", "SpeciesReport", "Totals"]


@dataclass(frozen=True)
class SpeciesReport:
    """One species of the build (species with count 0 are left out)."""

    name: str
    count: int
    atoms_per_molecule: int
    molecular_mass: float  # g/mol
    charge: float  # e, per molecule


@dataclass(frozen=True)
class AtomType:
    """One atom type of data.lmp.

    Its `number` there (from 1), the pseudo atom it stands for and the species that use it, in
    species order.
    """

    number: int
    name: str
    species: tuple[str, ...]


@dataclass(frozen=True)
class Totals:
    """How many atoms, bonds, angles and dihedrals data.lmp holds, and of how many types."""

    atoms: int
    bonds: int
    angles: int
    dihedrals: int
    atom_types: int
    bond_types: int
    angle_types: int
    dihedral_types: int


@dataclass(frozen=True)
class Diagnostic:
    """One thing a step of the build said.

    `kind` names the check or step ("rigid-placeholder", "packing-status", "long-range-solver",
    "net-charge", ...), `level` is "note" for a routine fact or "warning" for one the user should
    act on.
    """

    kind: str
    level: str
    text: str


@dataclass(frozen=True)
class MoveAcceptance:
    """One kind of Monte Carlo move of one RASPA3 component ("system" for volume moves) over the
    whole run: how many RASPA3 tried and how many it accepted."""

    component: str
    move: str
    accepted: float
    attempted: float

    @property
    def ratio(self) -> float:
        return self.accepted / self.attempted


@dataclass(frozen=True)
class RaspaRun:
    """What the RASPA3 run of `pack.raspa` did: its cycles, its final total potential energy
    (`energy_kcal`, kcal/mol, which is LAMMPS's pe at the first step of the written files, and
    `energy_k`, K), the acceptance of each move, the cutoffs it ran with, Å, and the box edge it
    ended with (with a pressure, the box it reached)."""

    init_cycles: int
    cycles: int
    energy_k: float
    energy_kcal: float
    box_length: float
    pressure: float | None  # in pressure_unit; None for NVT
    cutoff_vdw: float
    cutoff_coulomb: float
    acceptance: tuple[MoveAcceptance, ...]
    pressure_unit: str = "atm"


@dataclass(frozen=True)
class BuildReport:
    """What a build wrote and what it found.

    `min_distance` is the closest approach of atoms of different molecules under periodic
    boundaries, Å (None with fewer than two molecules); `closest_atoms` are those two atoms,
    numbered from 1 as in data.lmp. `pair_style` is the preset written into forcefield.lmp
    ("LjCutCoulLong", ...; None for no preset), which shows what "auto" chose. `subboxes` is the
    grid (nx, ny, nz) the box was split into for packing and `jobs` the number of Packmol
    processes that ran at once; both None when one Packmol packed the whole box.
    `diagnostics` holds everything the build said, in order; `warnings` the texts of those at
    the warning level, `notes` of those at the note level (among them, for a mixture given by
    mole fractions, how they were rounded to counts). `atom_types` maps each type number of
    data.lmp to its pseudo atom and the species that use it.
    """

    summary: str
    pair_style: str | None
    species: tuple[SpeciesReport, ...]
    totals: Totals
    box_length: float  # Å
    density: float  # kg/m³
    net_charge: float  # e
    min_distance: float | None
    closest_atoms: tuple[int, int] | None
    warnings: tuple[str, ...]
    files: tuple[str, ...]
    subboxes: tuple[int, int, int] | None = None
    jobs: int | None = None
    diagnostics: tuple[Diagnostic, ...] = ()
    atom_types: tuple[AtomType, ...] = ()
    raspa: RaspaRun | None = None

    @classmethod
    def from_engine(cls, built: dict[str, Any]) -> BuildReport:
        closest = built["closest_atoms"]
        return cls(
            summary=built["summary"],
            pair_style=built["pair_style"],
            species=tuple(SpeciesReport(**s) for s in built["species"]),
            totals=Totals(**built["totals"]),
            box_length=built["box_length"],
            density=built["density"],
            net_charge=built["net_charge"],
            min_distance=built["min_distance"],
            closest_atoms=None if closest is None else (closest[0] + 1, closest[1] + 1),
            warnings=tuple(built["warnings"]),
            files=tuple(built["files"]),
            subboxes=None if built["subboxes"] is None else tuple(built["subboxes"]),
            jobs=built["jobs"],
            diagnostics=tuple(Diagnostic(**d) for d in built["diagnostics"]),
            atom_types=tuple(AtomType(t["number"], t["name"], tuple(t["species"]))
                             for t in built["atom_types"]),
        )

    def __str__(self) -> str:
        return self.summary

    @property
    def notes(self) -> tuple[str, ...]:
        return tuple(d.text for d in self.diagnostics if d.level == "note")

    def to_json(self) -> dict[str, Any]:
        """The report as one JSON object.

        Its keys: species, atom_types (number, name, species), totals, box_length, density,
        net_charge, min_distance, warnings, diagnostics (kind, level, text), files, packing
        ({"subboxes": [nx, ny, nz], "jobs": n} when the box was split, else null), raspa (the
        RASPA3 run of pack.raspa, each move's acceptance with its ratio; else null).
        """
        return {
            "species": [asdict(s) for s in self.species],
            "atom_types": [dict(asdict(t), species=list(t.species)) for t in self.atom_types],
            "totals": asdict(self.totals),
            "box_length": self.box_length,
            "density": self.density,
            "net_charge": self.net_charge,
            "min_distance": self.min_distance,
            "warnings": list(self.warnings),
            "diagnostics": [asdict(d) for d in self.diagnostics],
            "files": list(self.files),
            "packing": None if self.subboxes is None else {"subboxes": list(self.subboxes),
                                                           "jobs": self.jobs},
            "raspa": None if self.raspa is None else dict(
                asdict(self.raspa), acceptance=[dict(asdict(a), ratio=a.ratio)
                                                for a in self.raspa.acceptance]),
        }

    def format(self, warnings: bool = True) -> str:
        """The report for a person: the files, the system, its species and atom types, the notes
        under their own heading, and every warning unless *warnings* is false (the command line
        prints them on standard error).
        """
        lines = [f"Wrote {shown_path(path)}" for path in self.files]
        # What else became of the folder: an earlier build's in.lmp or temporary files removed.
        lines += [d.text for d in self.diagnostics
                  if d.kind == "output-directory" and d.level == "note"]
        # The summary's own lines about the system: the box, how it was packed, skipped species.
        lines += [line for line in self.summary.splitlines()
                  if line.startswith(("box: ", "packing: ", "skipped (count 0): "))]
        # How mole fractions became the counts of the table below, which files the species are
        # where a file hides a bundled model, and which frame of a coordinate file was read.
        lines += [d.text for d in self.diagnostics
                  if d.kind in ("composition", "species", "coordinate-frame")
                  and d.level == "note"]
        # What RASPA3 did: cycles, final energy, acceptance, the box it reached.
        lines += [d.text for d in self.diagnostics if d.kind == "raspa3" and d.level == "note"]
        width = max([len("species")] + [len(s.name) for s in self.species])
        lines.append(f"{'species':<{width}}  {'count':>9}  {'atoms':>5}  {'g/mol':>10}  "
                     f"{'charge e':>9}")
        for s in self.species:
            lines.append(f"{s.name:<{width}}  {s.count:>9}  {s.atoms_per_molecule:>5}  "
                         f"{s.molecular_mass:>10.4f}  {s.charge:>9.4f}")
        lines.append("atom types: " + "; ".join(f"{t.number} {t.name} ({', '.join(t.species)})"
                                                for t in self.atom_types))
        # Charges sum with rounding: 1.7e-15 e is a neutral system, and shown as one.
        net_charge = round(self.net_charge, 9) + 0.0
        numbers = [f"density: {self.density:.1f} kg/m³", f"net charge: {net_charge:.6g} e"]
        if self.min_distance is not None and self.closest_atoms is not None:
            first, second = self.closest_atoms
            numbers.append(f"closest atoms of different molecules: {self.min_distance:.3f} Å "
                           f"(atoms {first} and {second})")
        lines.append("  |  ".join(numbers))
        lines.append(f"pair style: {self.pair_style or 'none (write your own)'}")
        # Routine facts of the build, apart from those about the folder and the counts shown above.
        notes = [d.text for d in self.diagnostics
                 if d.level == "note" and d.kind not in ("composition", "output-directory")]
        if notes:
            lines.append("notes:")
            lines += [f"  {note}" for note in notes]
        if warnings:
            lines += [f"warning: {warning}" for warning in self.warnings]
        return "\n".join(lines) + "\n"
