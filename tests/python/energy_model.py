"""An independent energy model for checking what LAMMPS computes from our files.

It starts again from the JSON inputs (energies in kelvin, lengths in ångström, angles in degrees)
and textbook physics; it never reads data.lmp or forcefield.lmp and shares no code with the
library. Only the standard library is used. Every energy comes out in kcal/mol:

* bonds:     U = ½ k (r - r0)²
* bends:     U = ½ k (θ - θ0)²
* torsions:  U = c1 (1 + cos φ) + c2 (1 - cos 2φ) + c3 (1 + cos 3φ), without the constant c0,
             an offset that LAMMPS does not carry
* pairs:     U = 4 ε [(σ/r)¹² - (σ/r)⁶] for r < 10 Å between minimum images, with
             Lorentz-Berthelot mixing (σ the arithmetic, ε the geometric mean) unless the force
             field overrides the pair; no pair of atoms within three bonds of each other (1-2,
             1-3, 1-4) counts; plus the mean-field tail correction beyond the cutoff.

A rigid molecule without parameters for a bond or bend is held by a stiff placeholder spring,
U = K (x - x0)² with K = 1000 kcal/(mol Å²) or 100 kcal/(mol rad²), around its reference
geometry. All bonds (bends) between the same pseudo atoms share one type, so one spring: the
reference geometry of the first such bond (bend) in the system.

forcefield.lmp prints each coefficient with fixed decimals (force constants and angles 4, lengths
6, Lennard-Jones parameters 7), so LAMMPS computes with rounded numbers; `written_precision=True`
rounds alike, and comparing both settings shows how much the printing itself moves each energy.
"""

import collections
import json
import math
from dataclasses import dataclass
from pathlib import Path

KCAL_PER_MOL_PER_K = 0.0019872041  # the molar gas constant: E/k_B in K times this is kcal/mol
CUTOFF = 10.0  # Å, the Lennard-Jones cutoff of every pair-style preset
PLACEHOLDER_BOND_K, PLACEHOLDER_ANGLE_K = 1000.0, 100.0
DECIMALS_K, DECIMALS_LENGTH, DECIMALS_ANGLE, DECIMALS_LJ = 4, 6, 4, 7


def read_json(path):
    return json.loads(Path(path).read_text(encoding="utf-8"))


def load_force_field(path):
    """(ε in K, σ in Å) by pseudo atom, and the overridden pairs by frozenset of their names."""
    raw = read_json(path)
    self_terms = {e["name"]: e["parameters"] for e in raw.get("SelfInteractions", [])}
    atoms = {e["name"]: tuple(map(float, self_terms.get(e["name"], (0, 0))))
             for e in raw["PseudoAtoms"]}
    overrides = {frozenset(e["names"]): tuple(map(float, e["parameters"][:2]))
                 for e in raw.get("BinaryInteractions", [])}
    return atoms, overrides


class Molecule:
    """A molecule file: its atoms, reference positions, bonds, and what follows from the bonds."""

    def __init__(self, path):
        raw = read_json(path)
        self.name = Path(path).stem
        self.names = [name for name, _ in raw["pseudoAtoms"]]
        self.reference = [tuple(map(float, position)) for _, position in raw["pseudoAtoms"]]
        self.bonds = [tuple(bond) for bond in raw.get("Connectivity", [])]
        self.rigid = str(raw.get("Type") or "").lower() == "rigid"
        self.entries = {key: [(names, params) for names, _, params in raw.get(key, [])]
                        for key in ("Bonds", "Bends", "Torsions")}
        near = [[] for _ in self.names]
        for i, j in self.bonds:
            near[i].append(j)
            near[j].append(i)
        self.bends = [(ends[p], centre, ends[q]) for centre, ends in enumerate(near)
                      for p in range(len(ends)) for q in range(p + 1, len(ends))]
        self.torsions = [(a, b, c, d) for b, c in self.bonds for a in near[b] for d in near[c]
                         if len({a, b, c, d}) == 4]
        self.excluded = []  # for each atom, those at most three bonds away
        for start in range(len(self.names)):
            seen = frontier = {start}
            for _ in range(3):
                frontier = {n for f in frontier for n in near[f]} - seen
                seen = seen | frontier
            self.excluded.append(seen - {start})

    def key(self, atoms):
        """The pseudo-atom names of `atoms`, the same read forwards or backwards."""
        names = tuple(self.names[i] for i in atoms)
        return min(names, names[::-1])

    def parameters(self, kind, atoms):
        """The first `kind` entry written for these atoms' names, in either direction."""
        names = [self.names[i] for i in atoms]
        return next((p for n, p in self.entries[kind] if n in (names, names[::-1])), None)


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def norm(a):
    return math.sqrt(dot(a, a))


def separation(a, b, box=None):
    """a - b, as the shortest periodic image when there is a cubic box."""
    d = sub(a, b)
    return d if box is None else tuple(x - box * round(x / box) for x in d)


def distance(a, b, box=None):
    return norm(separation(a, b, box))


def bend_angle(a, centre, b, box=None):
    """Angle a-centre-b in radians."""
    u, v = separation(a, centre, box), separation(b, centre, box)
    return math.acos(max(-1.0, min(1.0, dot(u, v) / (norm(u) * norm(v)))))


def torsion_angle(a, b, c, d, box):
    """Dihedral a-b-c-d in radians, 180° for the trans (anti) arrangement."""
    b1, b2, b3 = separation(b, a, box), separation(c, b, box), separation(d, c, box)
    n1, n2 = cross(b1, b2), cross(b2, b3)
    m = cross(n1, tuple(x / norm(b2) for x in b2))
    return math.atan2(dot(m, n2), dot(n1, n2))


@dataclass
class System:
    force_field: tuple  # from load_force_field
    species: list  # (Molecule, count)
    positions: list  # in species → copy → atom order, Å
    box: float  # cubic box edge, Å
    explicit_lb: bool = False  # False: LAMMPS mixes the unlike pairs from the like ones


@dataclass
class Energies:
    """kcal/mol, the terms LAMMPS reports as ebond, eangle, edihed and evdwl."""

    bond: float = 0.0
    angle: float = 0.0
    dihedral: float = 0.0
    vdw: float = 0.0  # pair sum plus tail correction
    tail: float = 0.0
    pairs_through_boundary: int = 0  # pairs inside the cutoff only through a periodic image


class Model:
    def __init__(self, system, written_precision):
        self.system, self.written = system, written_precision
        self.reference = {}  # placeholder x0 by bond (Å) and bend (degrees) key
        for molecule in (molecule for molecule, count in system.species if count):
            ref = molecule.reference
            for i, j in molecule.bonds:
                self.reference.setdefault(molecule.key((i, j)), distance(ref[i], ref[j]))
            for i, j, k in molecule.bends:
                angle = math.degrees(bend_angle(ref[i], ref[j], ref[k]))
                self.reference.setdefault(molecule.key((i, j, k)), angle)

    def rounded(self, value, decimals):
        return float(f"{value:.{decimals}f}") if self.written else value

    def kcal(self, kelvin, decimals):
        return self.rounded(kelvin * KCAL_PER_MOL_PER_K, decimals)

    def spring(self, molecule, kind, atoms, decimals):
        """(K, x0) of U = K (x - x0)²: K = k/2 from the file, or the placeholder of a rigid one."""
        params = molecule.parameters(kind, atoms)
        if params is not None:
            return self.kcal(params[0] / 2, DECIMALS_K), self.rounded(params[1], decimals)
        assert molecule.rigid, f"{molecule.name}: no {kind} entry for atoms {atoms}"
        big_k = PLACEHOLDER_BOND_K if kind == "Bonds" else PLACEHOLDER_ANGLE_K
        return big_k, self.rounded(self.reference[molecule.key(atoms)], decimals)

    def add_bonded(self, energies, molecule, pos):
        box = self.system.box
        for i, j in molecule.bonds:
            big_k, r0 = self.spring(molecule, "Bonds", (i, j), DECIMALS_LENGTH)
            energies.bond += big_k * (distance(pos[i], pos[j], box) - r0) ** 2
        for i, j, k in molecule.bends:
            big_k, theta0 = self.spring(molecule, "Bends", (i, j, k), DECIMALS_ANGLE)
            energies.angle += big_k * (bend_angle(pos[i], pos[j], pos[k], box)
                                       - math.radians(theta0)) ** 2
        for torsion in molecule.torsions:
            params = molecule.parameters("Torsions", torsion)
            if params is None:
                continue  # a torsion without parameters contributes nothing
            phi = torsion_angle(*(pos[a] for a in torsion), box)
            # LAMMPS holds K_n = 2 c_n in kcal/mol and computes ½ K_n (...): the same sum.
            c1, c2, c3 = (self.kcal(2 * c, DECIMALS_K) / 2 for c in params[1:4])
            energies.dihedral += (c1 * (1 + math.cos(phi)) + c2 * (1 - math.cos(2 * phi))
                                  + c3 * (1 + math.cos(3 * phi)))

    def pair(self, a, b):
        """(ε in kcal/mol, σ in Å) of the pseudo atoms a and b, as LAMMPS ends up using them."""
        atoms, overrides = self.system.force_field
        if a != b and frozenset((a, b)) in overrides:
            eps, sigma = overrides[frozenset((a, b))]
        elif a == b or self.system.explicit_lb:
            eps, sigma = math.sqrt(atoms[a][0] * atoms[b][0]), (atoms[a][1] + atoms[b][1]) / 2
            if eps == 0.0 or sigma == 0.0:
                return 0.0, 0.0
        else:  # LAMMPS mixes this pair itself, from the like pairs it was given
            (ea, sa), (eb, sb) = self.pair(a, a), self.pair(b, b)
            return math.sqrt(ea * eb), (sa + sb) / 2
        return self.kcal(eps, DECIMALS_LJ), self.rounded(sigma, DECIMALS_LJ)

    def add_pairs(self, energies, atoms):
        """`atoms`: (position, copy number, index in the molecule, Molecule) of every atom."""
        for x, (px, cx, ix, mx) in enumerate(atoms):
            for py, cy, iy, my in atoms[x + 1:]:
                if cx == cy and iy in mx.excluded[ix]:
                    continue
                d = separation(px, py, self.system.box)
                r = norm(d)
                if r < CUTOFF:
                    energies.pairs_through_boundary += d != sub(px, py)
                    eps, sigma = self.pair(mx.names[ix], my.names[iy])
                    energies.vdw += 4 * eps * ((sigma / r) ** 12 - (sigma / r) ** 6)

    def tail(self):
        """Mean-field energy beyond the cutoff, the fluid taken as uniform there:
        (2π/V) Σ_a Σ_b N_a N_b ∫_rc^∞ r² u_ab(r) dr over ordered pairs of pseudo atoms, with
        ∫_rc^∞ r² 4ε[(σ/r)¹² - (σ/r)⁶] dr = 4ε (σ¹²/(9 rc⁹) - σ⁶/(3 rc³))."""
        counts = collections.Counter()
        for molecule, count in self.system.species:
            for name in molecule.names:
                counts[name] += count
        total = 0.0
        for a, na in counts.items():
            for b, nb in counts.items():
                eps, sigma = self.pair(a, b)
                integral = 4 * eps * (sigma**12 / (9 * CUTOFF**9) - sigma**6 / (3 * CUTOFF**3))
                total += na * nb * integral
        return 2 * math.pi / self.system.box**3 * total


def energies(system, written_precision=True):
    """The energy terms of `system`; see the module comment for `written_precision`."""
    model, result = Model(system, written_precision), Energies()
    atoms, start = [], 0
    copies = (molecule for molecule, count in system.species for _ in range(count))
    for copy, molecule in enumerate(copies):
        pos = system.positions[start:start + len(molecule.names)]
        model.add_bonded(result, molecule, pos)
        atoms += [(p, copy, index, molecule) for index, p in enumerate(pos)]
        start += len(pos)
    model.add_pairs(result, atoms)
    result.tail = model.tail()
    result.vdw += result.tail
    return result
