"""LAMMPS's ebond, eangle, edihed and evdwl after `run 0` on our files agree with energy_model.py,
which recomputes them from the JSON inputs alone, for systems built from the examples at positions
away from equilibrium (so every term is non-zero). A wrong unit, type number, exclusion, mixing
rule or override anywhere in the chain shows up as a mismatch."""

import itertools
import json
import math
import random

import energy_model as em
from boxwright._native import PyPairSetup, pack_from_coords_py
from support import FORCE_FIELD, TempDirTestCase, example, needs_lammps, run_lammps

BOX = 24.0  # Å; more than twice the cutoff, so the minimum image is the only image in range
CLOSEST_APPROACH = 3.0  # Å between atoms of different molecules
JITTER = 0.15  # Å, displacement of each atom from its reference position
TERMS = {"ebond": "bond", "eangle": "angle", "edihed": "dihedral", "evdwl": "vdw"}
CASES = [  # title, species and counts, a binary override, seed
    # Butane brings bonds, bends and torsions; CO2 is rigid and relies on placeholders; ethane
    # with count 0 must leave no trace.
    ("butane + CO2 (+ ethane with count 0)", [("butane", 5), ("ethane", 0), ("co2", 8)], None, 11),
    ("water + propane + butane + methane + CO2, override methane-O",
     [("water", 6), ("propane", 3), ("butane", 2), ("methane", 6), ("co2", 3)],
     {"names": ["CH4", "Ow"], "parameters": [120.0, 3.4]}, 5),
]


def place(species, seed):
    """Random copies of each molecule, distorted and spread over the box, no two molecules
    closer than CLOSEST_APPROACH; positions are left unwrapped, as a caller might.
    Coordinates have four decimals, so data.lmp's seven significant digits carry them exactly."""
    rng, placed = random.Random(seed), []
    for molecule, count in species:
        for _ in range(count):
            for _attempt in range(10000):
                centre = [rng.uniform(0, BOX) for _ in range(3)]
                atoms = [tuple(round(c + x + rng.uniform(-JITTER, JITTER), 4)
                               for c, x in zip(centre, p)) for p in molecule.reference]
                if all(em.distance(a, b, BOX) >= CLOSEST_APPROACH for a in atoms for b in placed):
                    break
            else:
                raise AssertionError("could not place the molecules; lower the counts")
            placed += atoms
    return placed


def rel(a, b):
    return abs(a - b) / abs(b) if b else math.inf


@needs_lammps
class LammpsEnergiesAgree(TempDirTestCase):
    def test_energies_agree_with_the_independent_model(self):
        for case, explicit_lb in itertools.product(CASES, (False, True)):
            title, species, override, seed = case
            with self.subTest(title, explicit_lb=explicit_lb):
                self.check(title, species, override, explicit_lb, seed)

    def check(self, title, species, override, explicit_lb, seed):
        out = self.tmp / f"{seed}_{explicit_lb}"
        out.mkdir()
        force_field = em.read_json(FORCE_FIELD)
        force_field["BinaryInteractions"] += [override] if override else []
        (out / "force_field.json").write_text(json.dumps(force_field), encoding="utf-8")
        paths = [example(f"{name}.json") for name, _ in species]
        molecules = [(em.Molecule(path), count) for path, (_, count) in zip(paths, species)]
        coords = place(molecules, seed)
        pack_from_coords_py(paths, [count for _, count in species], coords, BOX, PyPairSetup.LjCut,
                            explicit_lb, str(out / "force_field.json"), str(out))
        lammps, _ = run_lammps(out)
        force_field = em.load_force_field(out / "force_field.json")
        system = em.System(force_field, molecules, coords, BOX, explicit_lb)
        expected, unrounded = em.energies(system), em.energies(system, written_precision=False)
        print(f"\n{title}, explicit_lb={explicit_lb}; kcal/mol (tail correction "
              f"{expected.tail:.9g}, {expected.pairs_through_boundary} pairs in range through "
              f"the boundary)\n{'term':8} {'LAMMPS':>20} {'independent':>20} {'rel. diff':>10}"
              "   rel. diff to unrounded coefficients")
        for keyword, term in TERMS.items():
            got, want, raw = lammps[keyword], getattr(expected, term), getattr(unrounded, term)
            print(f"{keyword:8} {got:20.12g} {want:20.12g} {rel(got, want):10.2e}"
                  f"   {rel(got, raw):10.2e}")
        for keyword, term in TERMS.items():
            want = getattr(expected, term)
            self.assertNotEqual(want, 0.0, f"{keyword}: choose positions with a non-zero term")
            self.assertLessEqual(abs(lammps[keyword] - want), max(1e-6 * abs(want), 1e-6),
                                 f"{keyword}: LAMMPS {lammps[keyword]!r}, independent {want!r}")
        self.assertGreater(expected.pairs_through_boundary, 0,
                           "no pair crosses the box boundary; the minimum image is untested")
