"""LAMMPS's energies of our files agree with an independent calculation from the JSON inputs.

Each system is built from the bundled examples with `pack_from_coords_py` at positions drawn
away from equilibrium (so every term is non-zero), run through `lmp` with `run 0`, and its
ebond, eangle, edihed and evdwl are compared with energy_model.py, which recomputes them from
the molecule and force-field files alone. A wrong unit, type number, exclusion, mixing rule or
override anywhere in the chain shows up as a mismatch.
"""

from __future__ import annotations

import json
import math
import random
import tempfile
import unittest
from pathlib import Path

import energy_model
import lammps_run
import support
from boxwright._native import PyPairSetup, pack_from_coords_py

EXAMPLES = support.EXAMPLES_DIR
BOX = 24.0  # Å; more than twice the cutoff, so the minimum image is the only image in range
CLOSEST_APPROACH = 3.0  # Å between atoms of different molecules
JITTER = 0.15  # Å, displacement of each atom from its reference position

TERMS = (("ebond", "bond"), ("eangle", "angle"), ("edihed", "dihedral"), ("evdwl", "vdw"))


def close(lammps: float, expected: float) -> bool:
    return abs(lammps - expected) <= max(1e-6 * abs(expected), 1e-6)


def rel(a: float, b: float) -> float:
    return abs(a - b) / abs(b) if b else math.inf


def random_rotation(rng: random.Random):
    """A uniformly random rotation, as a function on vectors (from a random unit quaternion)."""
    u1, u2, u3 = rng.random(), rng.random(), rng.random()
    a, b = math.sqrt(1 - u1), math.sqrt(u1)
    w, x = a * math.sin(2 * math.pi * u2), a * math.cos(2 * math.pi * u2)
    y, z = b * math.sin(2 * math.pi * u3), b * math.cos(2 * math.pi * u3)
    m = (
        (1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)),
        (2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)),
        (2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)),
    )
    return lambda v: tuple(sum(m[r][c] * v[c] for c in range(3)) for r in range(3))


def place(species: list[tuple[energy_model.Molecule, int]], seed: int) -> list[list[float]]:
    """Random copies of each molecule, rotated, distorted and spread over the box, no two
    molecules closer than CLOSEST_APPROACH; positions are left unwrapped, as a caller might.
    Coordinates have four decimals, so data.lmp's seven significant digits carry them exactly."""
    rng = random.Random(seed)
    placed: list[energy_model.Vec] = []
    for molecule, count in species:
        ref = molecule.reference
        centroid = tuple(sum(p[k] for p in ref) / len(ref) for k in range(3))
        for _ in range(count):
            for _attempt in range(10000):
                rotate = random_rotation(rng)
                centre = tuple(rng.uniform(0, BOX) for _ in range(3))
                atoms = [
                    tuple(round(c + r + rng.uniform(-JITTER, JITTER), 4)
                          for c, r in zip(centre, rotate(energy_model.sub(p, centroid))))
                    for p in ref
                ]
                if all(energy_model.bond_length(a, b, BOX) >= CLOSEST_APPROACH
                       for a in atoms for b in placed):
                    break
            else:
                raise AssertionError("could not place the molecules; lower the counts")
            placed += atoms
    return [list(p) for p in placed]


def with_override(tmp: Path, names: tuple[str, str], epsilon_k: float, sigma: float) -> Path:
    """A copy of the example force field with one explicit cross interaction added."""
    raw = json.loads((EXAMPLES / "force_field.json").read_text(encoding="utf-8"))
    raw.setdefault("BinaryInteractions", []).append(
        {"names": list(names), "parameters": [epsilon_k, sigma], "source": "test override"})
    path = tmp / "force_field_override.json"
    path.write_text(json.dumps(raw, indent=1), encoding="utf-8")
    return path


def first_atom(species_file: str) -> str:
    raw = json.loads((EXAMPLES / species_file).read_text(encoding="utf-8"))
    return raw["pseudoAtoms"][0][0]


@unittest.skipUnless(lammps_run.LMP, lammps_run.MISSING_REASON)
class LammpsEnergiesAgree(unittest.TestCase):
    def check(self, title: str, species: list[tuple[str, int]], force_field: Path,
              explicit_lb: bool, seed: int) -> None:
        with tempfile.TemporaryDirectory() as tmp:
            paths = [EXAMPLES / name for name, _ in species]
            counts = [count for _, count in species]
            loaded = [(energy_model.load_molecule(p), n) for p, n in zip(paths, counts)]
            coords = place(loaded, seed)
            pack_from_coords_py([str(p) for p in paths], counts, coords, BOX, PyPairSetup.LjCut,
                                explicit_lb, str(force_field), tmp)
            lammps, _ = lammps_run.run(Path(tmp), lammps_run.input_script())

        system = energy_model.System(energy_model.load_force_field(force_field), loaded,
                                     [tuple(p) for p in coords], BOX, explicit_lb)
        expected = energy_model.energies(system)
        unrounded = energy_model.energies(system, written_precision=False)
        print(f"\n{title}, explicit_lb={explicit_lb}; kcal/mol "
              f"(tail correction {expected.tail:.9g}, "
              f"{expected.pairs_through_boundary} pairs in range through the boundary)")
        print(f"{'term':8} {'LAMMPS':>20} {'independent':>20} {'rel. diff':>10}"
              f"   {'rel. diff to unrounded coefficients':>10}")
        for keyword, term in TERMS:
            got, want, raw = lammps[keyword], getattr(expected, term), getattr(unrounded, term)
            print(f"{keyword:8} {got:20.12g} {want:20.12g} {rel(got, want):10.2e}"
                  f"   {rel(got, raw):10.2e}")
        for keyword, term in TERMS:
            want = getattr(expected, term)
            with self.subTest(term=keyword):
                self.assertNotEqual(want, 0.0, "choose positions with a non-zero term")
                self.assertTrue(close(lammps[keyword], want),
                                f"{keyword}: LAMMPS {lammps[keyword]!r}, independent {want!r}")
        self.assertGreater(expected.pairs_through_boundary, 0,
                           "no pair crosses the box boundary; the minimum image is untested")

    def test_flexible_alkane_and_rigid_co2_with_placeholders(self):
        # butane brings bonds, bends and torsions; CO2 is rigid and relies on placeholders;
        # ethane with count 0 must leave no trace.
        for explicit_lb in (False, True):
            with self.subTest(explicit_lb=explicit_lb):
                self.check("butane + CO2 (+ ethane with count 0)",
                           [("butane.json", 5), ("ethane.json", 0), ("co2.json", 8)],
                           EXAMPLES / "force_field.json", explicit_lb, seed=11)

    def test_five_species_with_a_binary_override(self):
        species = [("water.json", 6), ("propane.json", 3), ("butane.json", 2),
                   ("methane.json", 6), ("co2.json", 3)]
        with tempfile.TemporaryDirectory() as tmp:
            force_field = with_override(Path(tmp), (first_atom("methane.json"),
                                                    first_atom("water.json")), 120.0, 3.4)
            for explicit_lb in (False, True):
                with self.subTest(explicit_lb=explicit_lb):
                    self.check("water + propane + butane + methane + CO2, override methane-O",
                               species, force_field, explicit_lb, seed=5)


if __name__ == "__main__":
    unittest.main()
