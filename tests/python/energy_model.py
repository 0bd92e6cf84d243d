"""An independent energy model for checking what LAMMPS computes from our files.

Everything here starts again from the JSON inputs (energies in kelvin, lengths in ångström,
angles in degrees) and from textbook physics; it never reads data.lmp or forcefield.lmp and
shares no code with the library. Only the Python standard library is used.

Potentials, all converted to kcal/mol at the end:

* bonds:     U = ½ k (r - r0)²                      k in K/Å², r0 in Å
* bends:     U = ½ k (θ - θ0)²                      k in K/rad², θ0 in degrees
* torsions:  U = c1 (1 + cos φ) + c2 (1 - cos 2φ) + c3 (1 + cos 3φ)   (the constant c0 is an
             energy offset that LAMMPS does not carry, so it is left out here too)
* pairs:     U = 4 ε [(σ/r)¹² - (σ/r)⁶] for r < rc, ε in K, σ in Å, Lorentz-Berthelot mixing
             (σ = arithmetic mean, ε = geometric mean) unless the force field overrides a pair,
             minimum-image distances in a cubic box, no pair within three bonds of the same
             molecule (1-2, 1-3 and 1-4 neighbours are excluded), plus the mean-field tail
             correction beyond rc.

A rigid molecule that gives no parameters for a bond or bend is held near its reference
geometry by a stiff placeholder spring: 1000 kcal/(mol Å²) around the reference length, or
100 kcal/(mol rad²) around the reference angle, in the convention U = K (x - x0)². All bonds
(bends) between the same pseudo atoms share one type and so one spring: the reference geometry
of the first such bond (bend) in the system.

The LAMMPS input fragment carries each coefficient with a fixed number of decimals (bonded force
constants and angles 4, lengths 6, Lennard-Jones parameters 7), so LAMMPS computes with the
rounded numbers. `written_precision=True` rounds the same way; comparing both settings shows how
much the printed precision itself moves each energy.
"""

from __future__ import annotations

import json
import math
from dataclasses import dataclass, field
from pathlib import Path

# The molar gas constant in kcal/(mol K): an energy in kelvin (E / k_B) times this is kcal/mol.
KCAL_PER_MOL_PER_K = 0.0019872041

CUTOFF = 10.0  # Å, the Lennard-Jones cutoff of every pair-style preset

PLACEHOLDER_BOND_K = 1000.0  # kcal/(mol Å²), U = K (r - r0)²
PLACEHOLDER_ANGLE_K = 100.0  # kcal/(mol rad²), U = K (θ - θ0)²

# Decimals with which forcefield.lmp prints each kind of coefficient.
DECIMALS_BONDED_K = 4
DECIMALS_LENGTH = 6
DECIMALS_ANGLE = 4
DECIMALS_LJ = 7

Vec = tuple[float, float, float]
Entries = list[tuple[list[str], list[float]]]  # bonded entries: (pseudo-atom names, parameters)


# --- inputs ------------------------------------------------------------------------------------


@dataclass
class PseudoAtom:
    name: str
    epsilon_k: float  # K
    sigma: float  # Å


@dataclass
class ForceField:
    atoms: dict[str, PseudoAtom]
    overrides: dict[frozenset[str], tuple[float, float]]  # {a, b} -> (ε in K, σ in Å)


@dataclass
class Molecule:
    name: str
    names: list[str]  # pseudo-atom name of each atom
    reference: list[Vec]  # reference positions, Å
    bonds: list[tuple[int, int]]
    bond_params: Entries  # [k, r0]
    bend_params: Entries  # [k, θ0]
    torsion_params: Entries  # [c0, c1, c2, c3]
    rigid: bool
    neighbours: list[list[int]] = field(init=False)

    def __post_init__(self) -> None:
        self.neighbours = [[] for _ in self.names]
        for i, j in self.bonds:
            self.neighbours[i].append(j)
            self.neighbours[j].append(i)


def load_force_field(path: Path) -> ForceField:
    raw = json.loads(Path(path).read_text(encoding="utf-8"))
    self_terms = {e["name"]: e["parameters"] for e in raw.get("SelfInteractions", [])}
    atoms = {}
    for entry in raw["PseudoAtoms"]:
        eps, sigma = self_terms.get(entry["name"], (0.0, 0.0))
        atoms[entry["name"]] = PseudoAtom(entry["name"], float(eps), float(sigma))
    overrides = {
        frozenset(e["names"]): (float(e["parameters"][0]), float(e["parameters"][1]))
        for e in raw.get("BinaryInteractions", [])
    }
    return ForceField(atoms, overrides)


def load_molecule(path: Path) -> Molecule:
    raw = json.loads(Path(path).read_text(encoding="utf-8"))

    def entries(key: str) -> Entries:
        return [(list(names), [float(x) for x in params]) for names, _, params in raw.get(key, [])]

    return Molecule(
        name=Path(path).stem,
        names=[name for name, _ in raw["pseudoAtoms"]],
        reference=[tuple(float(x) for x in pos) for name, pos in raw["pseudoAtoms"]],
        bonds=[(int(i), int(j)) for i, j in raw.get("Connectivity", [])],
        bond_params=entries("Bonds"),
        bend_params=entries("Bends"),
        torsion_params=entries("Torsions"),
        rigid=str(raw.get("Type") or "").lower() == "rigid",
    )


def find_params(entries: Entries, names: list[str]) -> list[float] | None:
    """The first entry written for these names in either direction."""
    for entry_names, params in entries:
        if entry_names == names or entry_names == names[::-1]:
            return params
    return None


# --- geometry ----------------------------------------------------------------------------------


def sub(a: Vec, b: Vec) -> Vec:
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def dot(a: Vec, b: Vec) -> float:
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a: Vec, b: Vec) -> Vec:
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def norm(a: Vec) -> float:
    return math.sqrt(dot(a, a))


def minimum_image(d: Vec, box: float | None) -> Vec:
    """The shortest periodic image of the separation d; d itself when there is no box."""
    if box is None:
        return d
    return tuple(x - box * round(x / box) for x in d)


def bond_length(a: Vec, b: Vec, box: float | None) -> float:
    return norm(minimum_image(sub(a, b), box))


def bend_angle(a: Vec, centre: Vec, b: Vec, box: float | None) -> float:
    """Angle a-centre-b in radians."""
    u = minimum_image(sub(a, centre), box)
    v = minimum_image(sub(b, centre), box)
    return math.acos(max(-1.0, min(1.0, dot(u, v) / (norm(u) * norm(v)))))


def torsion_angle(a: Vec, b: Vec, c: Vec, d: Vec, box: float) -> float:
    """Dihedral a-b-c-d in radians, 180° for the trans (anti) arrangement."""
    b1 = minimum_image(sub(b, a), box)
    b2 = minimum_image(sub(c, b), box)
    b3 = minimum_image(sub(d, c), box)
    n1, n2 = cross(b1, b2), cross(b2, b3)
    m = cross(n1, tuple(x / norm(b2) for x in b2))
    return math.atan2(dot(m, n2), dot(n1, n2))


# --- the model ---------------------------------------------------------------------------------


@dataclass
class System:
    """Species with their counts, positions in species → copy → atom order, a cubic box."""

    force_field: ForceField
    species: list[tuple[Molecule, int]]
    positions: list[Vec]
    box: float
    explicit_lb: bool = False  # False: LAMMPS mixes the unlike pairs from the like ones


@dataclass
class Energies:
    """kcal/mol, the four terms LAMMPS reports as ebond, eangle, edihed and evdwl."""

    bond: float = 0.0
    angle: float = 0.0
    dihedral: float = 0.0
    vdw: float = 0.0  # pair sum plus tail correction
    tail: float = 0.0
    pairs_through_boundary: int = 0  # pairs inside the cutoff that needed a periodic image


class Model:
    def __init__(self, system: System, written_precision: bool) -> None:
        self.system = system
        self.written = written_precision
        self.placeholder_length: dict[tuple[str, ...], float] = {}
        self.placeholder_angle: dict[tuple[str, ...], float] = {}
        for molecule, count in system.species:
            if count == 0:
                continue
            ref = molecule.reference
            for i, j in molecule.bonds:
                key = tuple(sorted((molecule.names[i], molecule.names[j])))
                self.placeholder_length.setdefault(key, bond_length(ref[i], ref[j], None))
            for i, j, k in self.bends(molecule):
                key = self.bend_key(molecule, i, j, k)
                angle = math.degrees(bend_angle(ref[i], ref[j], ref[k], None))
                self.placeholder_angle.setdefault(key, angle)

    @staticmethod
    def bend_key(molecule: Molecule, i: int, j: int, k: int) -> tuple[str, ...]:
        ends = sorted((molecule.names[i], molecule.names[k]))
        return (ends[0], molecule.names[j], ends[1])

    def rounded(self, value: float, decimals: int) -> float:
        return float(f"{value:.{decimals}f}") if self.written else value

    def kcal(self, kelvin: float, decimals: int) -> float:
        return self.rounded(kelvin * KCAL_PER_MOL_PER_K, decimals)

    # Each copy of a species, with the positions of its atoms.
    def copies(self):
        start = 0
        for molecule, count in self.system.species:
            for _ in range(count):
                yield molecule, self.system.positions[start : start + len(molecule.names)], start
                start += len(molecule.names)

    def bond_energy(self, molecule: Molecule, pos: list[Vec]) -> float:
        total = 0.0
        for i, j in molecule.bonds:
            r = bond_length(pos[i], pos[j], self.system.box)
            params = find_params(molecule.bond_params, [molecule.names[i], molecule.names[j]])
            if params is not None:
                k, r0 = params
                # ½ k (r - r0)² in kelvin is K (r - r0)² with K = k/2 in kcal/mol.
                big_k = self.kcal(k * 0.5, DECIMALS_BONDED_K)
                r0 = self.rounded(r0, DECIMALS_LENGTH)
            else:
                assert molecule.rigid, f"{molecule.name}: bond {i}-{j} has no parameters"
                big_k = PLACEHOLDER_BOND_K
                key = tuple(sorted((molecule.names[i], molecule.names[j])))
                r0 = self.rounded(self.placeholder_length[key], DECIMALS_LENGTH)
            total += big_k * (r - r0) ** 2
        return total

    @staticmethod
    def bends(molecule: Molecule):
        for centre, ends in enumerate(molecule.neighbours):
            for p in range(len(ends)):
                for q in range(p + 1, len(ends)):
                    yield ends[p], centre, ends[q]

    def angle_energy(self, molecule: Molecule, pos: list[Vec]) -> float:
        total = 0.0
        for i, j, k in self.bends(molecule):
            theta = bend_angle(pos[i], pos[j], pos[k], self.system.box)
            names = [molecule.names[i], molecule.names[j], molecule.names[k]]
            params = find_params(molecule.bend_params, names)
            if params is not None:
                k_kelvin, theta0_deg = params
                big_k = self.kcal(k_kelvin * 0.5, DECIMALS_BONDED_K)
            else:
                assert molecule.rigid, f"{molecule.name}: bend {names} has no parameters"
                big_k = PLACEHOLDER_ANGLE_K
                theta0_deg = self.placeholder_angle[self.bend_key(molecule, i, j, k)]
            theta0 = math.radians(self.rounded(theta0_deg, DECIMALS_ANGLE))
            total += big_k * (theta - theta0) ** 2
        return total

    def torsions(self, molecule: Molecule):
        """Every chain a-b-c-d of four distinct bonded atoms, once (not also as d-c-b-a)."""
        for b, c in molecule.bonds:
            for a in molecule.neighbours[b]:
                for d in molecule.neighbours[c]:
                    if len({a, b, c, d}) == 4:
                        yield a, b, c, d

    def dihedral_energy(self, molecule: Molecule, pos: list[Vec]) -> float:
        total = 0.0
        for a, b, c, d in self.torsions(molecule):
            names = [molecule.names[x] for x in (a, b, c, d)]
            params = find_params(molecule.torsion_params, names)
            if params is None:
                continue  # a torsion without parameters contributes nothing
            phi = torsion_angle(pos[a], pos[b], pos[c], pos[d], self.system.box)
            _, c1, c2, c3 = params
            # LAMMPS holds K_n = 2 c_n in kcal/mol and computes ½ K_n (...); the same sum.
            c1, c2, c3 = (self.kcal(2 * cn, DECIMALS_BONDED_K) / 2 for cn in (c1, c2, c3))
            total += (c1 * (1 + math.cos(phi)) + c2 * (1 - math.cos(2 * phi))
                      + c3 * (1 + math.cos(3 * phi)))
        return total

    def pair_parameters(self, a: str, b: str) -> tuple[float, float]:
        """(ε in kcal/mol, σ in Å) of the pair of pseudo atoms a and b."""
        atoms, overrides = self.system.force_field.atoms, self.system.force_field.overrides
        pa, pb = atoms[a], atoms[b]
        if a != b and frozenset((a, b)) in overrides:
            eps_k, sigma = overrides[frozenset((a, b))]
            return self.kcal(eps_k, DECIMALS_LJ), self.rounded(sigma, DECIMALS_LJ)
        if a == b or self.system.explicit_lb:
            eps_k = math.sqrt(pa.epsilon_k * pb.epsilon_k)
            sigma = 0.5 * (pa.sigma + pb.sigma)
            if eps_k == 0.0 or sigma == 0.0:
                return 0.0, 0.0
            return self.kcal(eps_k, DECIMALS_LJ), self.rounded(sigma, DECIMALS_LJ)
        # LAMMPS mixes this pair itself, from the like-pair values it was given.
        ea, sa = self.pair_parameters(a, a)
        eb, sb = self.pair_parameters(b, b)
        return math.sqrt(ea * eb), 0.5 * (sa + sb)

    def excluded_partners(self, molecule: Molecule) -> list[set[int]]:
        """For each atom, the atoms at most three bonds away in its molecule."""
        result = []
        for start in range(len(molecule.names)):
            seen, frontier = {start}, {start}
            for _ in range(3):
                frontier = {n for f in frontier for n in molecule.neighbours[f]} - seen
                seen |= frontier
            result.append(seen - {start})
        return result

    def vdw_energy(self, energies: Energies) -> None:
        atoms = []  # (global index, copy number, local index, name)
        exclusions = {}
        for copy_no, (molecule, _, start) in enumerate(self.copies()):
            exclusions.setdefault(molecule.name, self.excluded_partners(molecule))
            for local, name in enumerate(molecule.names):
                atoms.append((start + local, copy_no, local, name, molecule.name))
        box, positions = self.system.box, self.system.positions
        parameters = {}
        for x in range(len(atoms)):
            gx, cx, lx, nx, mx = atoms[x]
            for y in range(x + 1, len(atoms)):
                gy, cy, ly, ny, _ = atoms[y]
                if cx == cy and ly in exclusions[mx][lx]:
                    continue
                raw = sub(positions[gx], positions[gy])
                d = minimum_image(raw, box)
                r = norm(d)
                if r >= CUTOFF:
                    continue
                if d != raw:
                    energies.pairs_through_boundary += 1
                key = (nx, ny)
                if key not in parameters:
                    parameters[key] = self.pair_parameters(nx, ny)
                eps, sigma = parameters[key]
                sr6 = (sigma / r) ** 6
                energies.vdw += 4.0 * eps * (sr6 * sr6 - sr6)
        energies.tail = self.tail_correction()
        energies.vdw += energies.tail

    def tail_correction(self) -> float:
        """Mean-field energy of all pairs beyond the cutoff, assuming a uniform fluid there:
        E = (2π/V) Σ_a Σ_b N_a N_b ∫_rc^∞ r² u_ab(r) dr over ordered pairs of atom types, and
        ∫_rc^∞ r² 4ε[(σ/r)¹² - (σ/r)⁶] dr = 4ε (σ¹²/(9 rc⁹) - σ⁶/(3 rc³))."""
        counts: dict[str, int] = {}
        for molecule, count in self.system.species:
            for name in molecule.names:
                counts[name] = counts.get(name, 0) + count
        volume = self.system.box**3
        total = 0.0
        for a, na in counts.items():
            for b, nb in counts.items():
                eps, sigma = self.pair_parameters(a, b)
                integral = 4 * eps * (sigma**12 / (9 * CUTOFF**9) - sigma**6 / (3 * CUTOFF**3))
                total += na * nb * integral
        return 2 * math.pi / volume * total

    def energies(self) -> Energies:
        result = Energies()
        for molecule, pos, _ in self.copies():
            result.bond += self.bond_energy(molecule, pos)
            result.angle += self.angle_energy(molecule, pos)
            result.dihedral += self.dihedral_energy(molecule, pos)
        self.vdw_energy(result)
        return result


def energies(system: System, written_precision: bool = True) -> Energies:
    """The four energy terms of `system`; see the module comment for `written_precision`."""
    return Model(system, written_precision).energies()
