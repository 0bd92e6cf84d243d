"""The gallery: realistic mixtures whose files are written as a user writes them from docs/, each
built with the defaults and its in.lmp run by the real LAMMPS for a few thousand steps. Every run
must end without an error, keep every atom, end within 15 % of its temperature and keep every
constrained bond at its length."""

import json
import math
import pathlib

from boxwright import pack
from support import FORCE_FIELD, TempDirTestCase, example, needs_lammps
from test_lammps_runs import bond_lengths, final_state, run_in_lmp

TEMPERATURE = 298.15
RUN = {"start_steps": 1000, "steps": 1000}


def trappe_ethanol_and_spce(directory):
    """TraPPE-UA ethanol and SPC/E water as a user writes them: the hydroxyl H carries a charge
    and has no Lennard-Jones core; the bonds TraPPE holds fixed are stiff harmonic stand-ins."""
    def at(origin, length, degrees):
        return [origin[0] + length * math.cos(math.radians(degrees)),
                origin[1] + length * math.sin(math.radians(degrees)), 0.0]
    ch3, ch2 = [0.0, 0.0, 0.0], [1.54, 0.0, 0.0]
    oxygen = at(ch2, 1.43, 180 - 109.47)
    hydrogen = at(oxygen, 0.945, 180 - 109.47 - 180 + 108.5)
    stiff = 96500.0
    ethanol = {
        "pseudoAtoms": [["CH3", ch3], ["CH2_OH", ch2], ["O_OH", oxygen], ["H_OH", hydrogen]],
        "Connectivity": [[0, 1], [1, 2], [2, 3]],
        "Bonds": [[["CH3", "CH2_OH"], "HARMONIC", [stiff, 1.54]],
                  [["CH2_OH", "O_OH"], "HARMONIC", [stiff, 1.43]],
                  [["O_OH", "H_OH"], "HARMONIC", [stiff, 0.945]]],
        "Bends": [[["CH3", "CH2_OH", "O_OH"], "HARMONIC", [50400.0, 109.47]],
                  [["CH2_OH", "O_OH", "H_OH"], "HARMONIC", [55400.0, 108.5]]],
        "Torsions": [[["CH3", "CH2_OH", "O_OH", "H_OH"], "TRAPPE",
                      [0.0, 209.82, -29.17, 187.93]]],
    }
    water = {"Type": "rigid", "pseudoAtoms": [["O_spce", [0.0, 0.0, 0.0]],
                                              ["H_spce", [0.8164904, 0.5773590, 0.0]],
                                              ["H_spce", [-0.8164904, 0.5773590, 0.0]]],
             "Connectivity": [[0, 1], [0, 2]]}
    atoms = [("CH3", 15.035, 0.0, 98.0, 3.75), ("CH2_OH", 14.027, 0.265, 46.0, 3.95),
             ("O_OH", 15.999, -0.700, 93.0, 3.02), ("H_OH", 1.008, 0.435, 0.0, 0.0),
             ("O_spce", 15.9994, -0.8476, 78.2, 3.166), ("H_spce", 1.008, 0.4238, 0.0, 0.0)]
    force_field = {
        "MixingRule": "Lorentz-Berthelot", "CutOffVDW": 10.0,
        "PseudoAtoms": [{"name": n, "mass": m, "charge": q} for n, m, q, _, _ in atoms],
        "SelfInteractions": [{"name": n, "type": "lennard-jones", "parameters": [e, s]}
                             for n, _, _, e, s in atoms],
    }
    return write_files(directory, ethanol=ethanol, spce=water, ff=force_field)



def trappe_benzene(directory):
    """TraPPE-UA benzene, rigid and without Bends: a hexagon of CH written to six decimals."""
    ring = [["CH_ar", [round(1.4 * math.cos(math.pi * k / 3), 6),
                       round(1.4 * math.sin(math.pi * k / 3), 6), 0.0]] for k in range(6)]
    benzene = {"Type": "rigid", "pseudoAtoms": ring,
               "Connectivity": [[k, (k + 1) % 6] for k in range(6)]}
    force_field = {"MixingRule": "Lorentz-Berthelot", "CutOffVDW": 12.0,
                   "PseudoAtoms": [{"name": "CH_ar", "mass": 13.019, "charge": 0.0}],
                   "SelfInteractions": [{"name": "CH_ar", "type": "lennard-jones",
                                         "parameters": [50.5, 3.695]}]}
    return write_files(directory, benzene=benzene, ff=force_field)


def sodium_chloride_in_spce(directory):
    """Na+ and Cl- (Joung and Cheatham's parameters for SPC/E) in SPC/E water."""
    _, water, spce = trappe_ethanol_and_spce(directory)
    force_field = json.loads(spce.read_text(encoding="utf-8"))
    for name, mass, charge, epsilon, sigma in (("Na", 22.99, 1.0, 177.4, 2.159),
                                               ("Cl", 35.453, -1.0, 6.44, 4.830)):
        force_field["PseudoAtoms"].append({"name": name, "mass": mass, "charge": charge})
        force_field["SelfInteractions"].append({"name": name, "type": "lennard-jones",
                                                "parameters": [epsilon, sigma]})
    ions = {name: {"pseudoAtoms": [[name, [0.0, 0.0, 0.0]]]} for name in ("Na", "Cl")}
    sodium, chloride, ff = write_files(directory, sodium=ions["Na"], chloride=ions["Cl"],
                                       ionic_ff=force_field)
    return water, sodium, chloride, ff


def write_files(directory, **contents):
    paths = []
    for name, content in contents.items():
        paths.append(pathlib.Path(directory, f"{name}.json"))
        paths[-1].write_text(json.dumps(content), encoding="utf-8")
    return paths


def final_temperature(screen):
    """The temperature of the last thermo row of the production run."""
    last = RUN["start_steps"] + RUN["steps"]
    rows = [line.split() for line in screen.splitlines()
            if line.split()[:1] == [str(last)] and len(line.split()) == 7]
    return float(rows[-1][1])


@needs_lammps
class Gallery(TempDirTestCase):
    def build_and_run(self, name, species, counts, density, force_field, ranks=1):
        out = self.tmp / name
        report = pack.packmol(species, counts, density, force_field=force_field, out_dir=out)
        self.assertEqual(report.warnings, ())  # a realistic system, plausible in every number
        screen = run_in_lmp(out, RUN, ranks=ranks)
        self.assertEqual(len(final_state(out)[1]), report.totals.atoms)
        temperature = final_temperature(screen)
        self.assertLess(abs(temperature - TEMPERATURE), 0.15 * TEMPERATURE, temperature)
        return out

    def assert_lengths(self, out, species_atoms, first_atom, pairs, length, delta=1e-3):
        for found in bond_lengths(out, species_atoms, first_atom, pairs):
            self.assertAlmostEqual(found, length, delta=delta)

    def test_trappe_ethanol_in_spce_water(self):
        ethanol, water, force_field = trappe_ethanol_and_spce(self.tmp)
        out = self.build_and_run("ethanol", [ethanol, water], [30, 30], 900.0, force_field)
        self.assert_lengths(out, (4, 30), 1, [(2, 3)], 0.945)  # the hydroxyl, held by SHAKE
        self.assert_lengths(out, (3, 30), 121, [(0, 1), (0, 2)], 1.0)

    def test_declared_tip4p2005_water_after_methane_on_two_processes(self):
        out = self.build_and_run("tip4p", [example("methane.json"), example("water.json")],
                                 [10, 60], 800.0, FORCE_FIELD, ranks=2)
        self.assertIn("lj/cut/tip4p/long", (out / "forcefield.lmp").read_text(encoding="utf-8"))
        self.assert_lengths(out, (3, 60), 11, [(0, 1), (0, 2)], 0.9572)

    def test_trappe_propane_and_co2(self):
        out = self.build_and_run("propane", [example("propane.json"), example("co2.json")],
                                 [20, 20], 600.0, FORCE_FIELD)
        self.assert_lengths(out, (3, 20), 61, [(0, 1), (0, 2)], 1.16)

    def test_n_butane(self):
        self.build_and_run("butane", [example("butane.json")], [40], 550.0, FORCE_FIELD)

    def test_rigid_benzene_without_bends(self):
        benzene, force_field = trappe_benzene(self.tmp)
        out = self.build_and_run("benzene", [benzene], [20], 700.0, force_field)
        self.assert_lengths(out, (6, 20), 1, [(k, (k + 1) % 6) for k in range(6)], 1.4)

    def test_sodium_chloride_in_spce_water(self):
        water, sodium, chloride, force_field = sodium_chloride_in_spce(self.tmp)
        out = self.build_and_run("nacl", [water, sodium, chloride], [100, 4, 4], 1000.0,
                                 force_field)
        self.assert_lengths(out, (3, 100), 1, [(0, 1), (0, 2)], 1.0)
