"""The bundled models: each checked against the numbers of its paper, written here from the papers
and not from the model files; then their use by name, alone, together and beside a file of the
user's, and the `boxwright models` command."""

import itertools
import json
import math
import pathlib
import re
import unittest
from unittest import mock

from boxwright import BuildError, models, pack
from support import EXAMPLES, FORCE_FIELD, SOURCE_DIR, TempDirTestCase, boxwright, example

R_KCAL = 0.0019872041  # kcal/(mol K)
R_KJ = 0.0083144626  # kJ/(mol K)
H, C, O = 1.008, 12.011, 15.999  # standard atomic weights, g/mol

# Pseudo atoms: mass g/mol, charge e, epsilon / k_B in K, sigma in Å.
TRAPPE_UA = {  # Martin and Siepmann, J. Phys. Chem. B 102, 2569 (1998), Table 1; CH from 103, 4508 (1999)
    "CH4": (C + 4 * H, 0.0, 148.0, 3.73), "CH3": (C + 3 * H, 0.0, 98.0, 3.75),
    "CH2": (C + 2 * H, 0.0, 46.0, 3.95), "CH": (C + H, 0.0, 10.0, 4.68),
}
ATOMS = {
    **TRAPPE_UA,
    "CH_ar": (C + H, 0.0, 50.5, 3.695),  # Wick, Martin and Siepmann, 104, 8008 (2000)
    # Chen, Potoff and Siepmann, J. Phys. Chem. B 105, 3093 (2001), Table 1
    "O_OH": (O, -0.700, 93.0, 3.02), "H_OH": (H, 0.435, 0.0, 0.0),
    "CH3_OH": (C + 3 * H, 0.265, 98.0, 3.75), "CH2_OH": (C + 2 * H, 0.265, 46.0, 3.95),
    # Potoff and Siepmann, AIChE J. 47, 1676 (2001)
    "C_co2": (C, 0.70, 27.0, 2.80), "O_co2": (O, -0.35, 79.0, 3.05),
    # Berendsen, Grigera and Straatsma, J. Phys. Chem. 91, 6269 (1987)
    "O_spce": (O, -0.8476, 0.6502 / R_KJ, 3.166), "H_spce": (H, 0.4238, 0.0, 0.0),
    # Jorgensen et al., J. Chem. Phys. 79, 926 (1983), Table I: A = 582.0e3 kcal Å^12/mol,
    # C = 595.0 kcal Å^6/mol
    "O_tip3p": (O, -0.834, 595.0**2 / (4 * 582.0e3) / R_KCAL, (582.0e3 / 595.0) ** (1 / 6)),
    "H_tip3p": (H, 0.417, 0.0, 0.0),
    # Abascal and Vega, J. Chem. Phys. 123, 234505 (2005), Table I; the M charge carried on O
    "O_tip4p2005": (O, -1.1128, 93.2, 3.1589), "H_tip4p2005": (H, 0.5564, 0.0, 0.0),
    # Horn et al., J. Chem. Phys. 120, 9665 (2004)
    "O_tip4pew": (O, -1.04844, 0.16275 / R_KCAL, 3.16435), "H_tip4pew": (H, 0.52422, 0.0, 0.0),
    # Vrabec, Stoll and Hasse, J. Phys. Chem. B 105, 12126 (2001), Table 1
    "Ar": (39.948, 0.0, 116.79, 3.3952), "Kr": (83.798, 0.0, 162.58, 3.6274),
}

# Bond lengths, Å, by the names of the two atoms (either order): TraPPE's fixed bonds and the
# waters' geometries.
BONDS = {
    **{pair: 1.54 for pair in itertools.combinations_with_replacement(
        ["CH3", "CH2", "CH", "CH2_OH"], 2)},
    ("CH3_OH", "O_OH"): 1.43, ("CH2_OH", "O_OH"): 1.43, ("O_OH", "H_OH"): 0.945,
    ("CH_ar", "CH_ar"): 1.40, ("C_co2", "O_co2"): 1.16,
    ("O_spce", "H_spce"): 1.0, ("O_tip3p", "H_tip3p"): 0.9572,
    ("O_tip4p2005", "H_tip4p2005"): 0.9572, ("O_tip4pew", "H_tip4pew"): 0.9572,
}
ALKYL = ("CH3", "CH2", "CH")
# Bends by their middle atom and, where it matters, an end: (theta0 degrees, k_theta K/rad²).
TETRAHEDRAL = 109.47


def bend(ends, middle):
    if middle == "CH":
        return 112.0, 62500.0
    if middle == "O_OH":
        return 108.5, 55400.0
    if "O_OH" in ends:
        return TETRAHEDRAL, 50400.0
    if middle in ("CH2", "CH2_OH"):
        return 114.0, 62500.0
    return None


WATERS = ("spce", "tip3p", "tip4p2005", "tip4p-ew")
WATER_ANGLES = {"O_spce": 109.47, "O_tip3p": 104.52, "O_tip4p2005": 104.52, "O_tip4pew": 104.52}
# TraPPE torsions [c0, c1, c2, c3] in K, by the two end atoms.
ALKANE_TORSION = [0.0, 355.03, -68.19, 791.32]


def torsion(ends):
    if "H_OH" in ends:
        return [0.0, 209.82, -29.17, 187.93]
    if "O_OH" in ends:
        return [0.0, 176.62, -53.34, 769.93]
    return ALKANE_TORSION


# Each model: its sites, rigid or not (None: either), and its M site (Å) if any.
MODELS = {
    "spce": (["O_spce", "H_spce", "H_spce"], True, None),
    "tip3p": (["O_tip3p", "H_tip3p", "H_tip3p"], True, None),
    "tip4p2005": (["O_tip4p2005", "H_tip4p2005", "H_tip4p2005"], True, 0.1546),
    "tip4p-ew": (["O_tip4pew", "H_tip4pew", "H_tip4pew"], True, 0.125),
    "methane": (["CH4"], None, None),
    "ethane": (["CH3", "CH3"], None, None),
    "propane": (["CH3", "CH2", "CH3"], False, None),
    "n-butane": (["CH3"] + ["CH2"] * 2 + ["CH3"], False, None),
    "isobutane": (["CH"] + ["CH3"] * 3, False, None),
    "n-pentane": (["CH3"] + ["CH2"] * 3 + ["CH3"], False, None),
    "n-hexane": (["CH3"] + ["CH2"] * 4 + ["CH3"], False, None),
    "n-octane": (["CH3"] + ["CH2"] * 6 + ["CH3"], False, None),
    "benzene": (["CH_ar"] * 6, True, None),
    "methanol": (["CH3_OH", "O_OH", "H_OH"], False, None),
    "ethanol": (["CH3", "CH2_OH", "O_OH", "H_OH"], False, None),
    "1-propanol": (["CH3", "CH2", "CH2_OH", "O_OH", "H_OH"], False, None),
    "co2": (["C_co2", "O_co2", "O_co2"], True, None),
    "argon": (["Ar"], None, None),
    "krypton": (["Kr"], None, None),
}


def read(path):
    return json.loads(path.read_text(encoding="utf-8"))


def angle(a, b, c):
    u = [x - y for x, y in zip(a, b)]
    v = [x - y for x, y in zip(c, b)]
    cosine = sum(x * y for x, y in zip(u, v)) / math.dist(a, b) / math.dist(c, b)
    return math.degrees(math.acos(max(-1.0, min(1.0, cosine))))


class Papers(TempDirTestCase):
    def test_the_library_is_the_checked_list(self):
        self.assertEqual(sorted(models.names()), sorted(MODELS))

    def test_every_model_carries_its_papers_numbers(self):
        for name, (sites, rigid, m_site) in MODELS.items():
            with self.subTest(name):
                model = models.get(name)
                molecule, force_field = read(model.molecule), read(model.force_field)
                names = [atom for atom, _ in molecule["pseudoAtoms"]]
                positions = [position for _, position in molecule["pseudoAtoms"]]
                self.assertEqual(sorted(names), sorted(sites))
                if name in WATERS:  # O first, as the TIP4P pair style and SHAKE's angle need
                    self.assertEqual(names, sites)
                if rigid is not None:
                    self.assertEqual(molecule.get("Type", "").lower() == "rigid", rigid)
                self.assertEqual(molecule.get("MSite"), m_site)
                self.assert_atoms(force_field, set(names))
                self.assert_geometry(molecule, names, positions)
                # A paper with its year, and its table, or the plain word that it is unchecked.
                self.assertRegex(model.source, r"\(\d{4}\), Table [0-9IV]+|table not checked")

    def assert_atoms(self, force_field, used):
        declared = {atom["name"]: atom for atom in force_field["PseudoAtoms"]}
        self.assertEqual(set(declared), used)
        lennard_jones = {entry["name"]: entry["parameters"]
                         for entry in force_field["SelfInteractions"]}
        for atom in used:
            mass, charge, epsilon, sigma = ATOMS[atom]
            self.assertAlmostEqual(declared[atom]["mass"], mass, delta=1e-3, msg=atom)
            self.assertAlmostEqual(declared[atom]["charge"], charge, delta=1e-9, msg=atom)
            self.assertAlmostEqual(lennard_jones[atom][0], epsilon, delta=1e-4 * epsilon + 1e-9,
                                   msg=atom)
            self.assertAlmostEqual(lennard_jones[atom][1], sigma, delta=1e-4 * sigma + 1e-9,
                                   msg=atom)
            self.assertTrue(declared[atom].get("source"), atom)

    def assert_geometry(self, molecule, names, positions):
        bonds = molecule.get("Connectivity", [])
        neighbours = {i: set() for i in range(len(names))}
        for i, j in bonds:
            pair = tuple(sorted((names[i], names[j]), key=str))
            length = BONDS.get(pair, BONDS.get(pair[::-1]))
            self.assertAlmostEqual(math.dist(positions[i], positions[j]), length, delta=1e-5,
                                   msg=pair)
            neighbours[i].add(j)
            neighbours[j].add(i)
        for entry in molecule.get("Bonds", []):
            (a, b), _, (k, r0) = entry
            self.assertEqual(r0, BONDS.get((a, b), BONDS.get((b, a))), entry)
        for middle, ends in neighbours.items():
            for i, j in itertools.combinations(sorted(ends), 2):
                found = angle(positions[i], positions[middle], positions[j])
                if names[middle] in WATER_ANGLES:
                    self.assertAlmostEqual(found, WATER_ANGLES[names[middle]], delta=1e-3)
                elif names[middle] == "CH_ar":
                    self.assertAlmostEqual(found, 120.0, delta=1e-3)
                elif names[middle] == "C_co2":
                    self.assertAlmostEqual(found, 180.0, delta=1e-3)
                else:
                    theta0, _ = bend({names[i], names[j]}, names[middle])
                    self.assertAlmostEqual(found, theta0, delta=1e-3, msg=names[middle])
        for entry in molecule.get("Bends", []):
            (a, middle, b), _, (k, theta0) = entry
            self.assertEqual((theta0, k), bend({a, b}, middle), entry)
        for entry in molecule.get("Torsions", []):
            (a, _, _, d), form, coefficients = entry
            self.assertEqual(form.upper(), "TRAPPE", entry)
            self.assertEqual(coefficients, torsion({a, d}), entry)


class ByName(TempDirTestCase):
    def test_models_alone_share_their_pseudo_atoms_and_take_the_longest_cutoff(self):
        report = pack.packmol(["tip3p", "ethane", "n-butane"], [10, 5, 5], 600.0,
                              out_dir=self.tmp)
        self.assertEqual([(t.name, t.species) for t in report.atom_types],
                         [("O_tip3p", ("tip3p",)), ("H_tip3p", ("tip3p",)),
                          ("CH3", ("ethane", "n-butane")), ("CH2", ("n-butane",))])
        self.assertEqual([s.name for s in report.species], ["tip3p", "ethane", "n-butane"])
        script = (self.tmp / "in.lmp").read_text(encoding="utf-8")
        self.assertIn("CutOffVDW 14", script)  # TraPPE's truncation, the longest of the three

    def test_the_m_site_goes_to_the_water_that_declares_it(self):
        for species, types, warned in ((["spce", "tip4p2005"], "3 4 2 2 0.1546", False),
                                       (["tip4p2005", "tip4p-ew"], "1 2 1 1 0.1546", True)):
            with self.subTest(species):
                out = self.tmp / species[0]
                report = pack.packmol(species, [30, 30], 900.0, out_dir=out)
                self.assertIn(f"pair_style lj/cut/tip4p/long {types} 10.0",
                              (out / "forcefield.lmp").read_text(encoding="utf-8"))
                self.assertEqual(any("gives an M site to one water only" in text
                                     for text in report.warnings), warned)

    def test_a_file_of_the_users_comes_first_and_must_agree(self):
        ions = self.tmp / "ions.json"
        ff = read(EXAMPLES / "force_field.json")
        ions.write_text(json.dumps(ff), encoding="utf-8")
        # The examples' CH3, CH2 and CH4 are TraPPE's: the models' entries agree and merge with
        # them. (The example butane's bonds are springs of another stiffness than the models'
        # chains, so it and n-hexane cannot share the CH3-CH2 bond type.)
        report = pack.packmol(["n-hexane", example("methane.json")], [4, 4], 500.0,
                              force_field=ions, out_dir=self.tmp / "agree")
        self.assertEqual([t.name for t in report.atom_types], ["CH3", "CH2", "CH4"])
        # Ethanol's CH2_OH carries a charge; a user's CH2_OH without one is another type.
        ff["PseudoAtoms"].append({"name": "CH2_OH", "mass": 14.027, "charge": 0.0})
        ions.write_text(json.dumps(ff), encoding="utf-8")
        raised = self.assert_raises_exactly(BuildError, re.compile(
            r"^pseudo atom 'CH2_OH' has other numbers in .*ethanol.force_field.json \(mass "
            rf"14.027, charge 0.265, epsilon 46 K, sigma 3.95 Å\) than in {ions} \(mass 14.027, "
            r"charge 0, epsilon 0 K, sigma 0 Å\)"), pack.packmol, ["ethanol"], [4], 700.0,
            force_field=ions, out_dir=self.tmp / "clash")
        self.assertEqual(raised.file, str(ions))
        self.assertFalse((self.tmp / "clash").exists())

    # A build takes a model's files as they are: the package reads neither of them.
    def test_a_build_by_name_reads_no_model_file_in_python(self):
        models._load.cache_clear()
        with mock.patch.object(pathlib.Path, "read_text", side_effect=AssertionError("read")), \
                mock.patch.object(json, "loads", side_effect=AssertionError("parsed")):
            report = pack.packmol(["tip4p2005", "ethanol"], [3, 2], 700.0, out_dir=self.tmp)
        self.assertEqual([s.name for s in report.species], ["tip4p2005", "ethanol"])

    # The listing's shape is the core's: a flexible model is "fixed bonds" only when every bond
    # is held, by "FixedBonds" or as a bond to a bare charge.
    def test_the_listed_shape_is_how_in_lmp_holds_the_molecule(self):
        expected = {"argon": "one site", "tip4p2005": "rigid", "propane": "fixed bonds",
                    "methanol": "fixed bonds", "ethanol": "flexible"}
        self.assertEqual({name: models.get(name).shape for name in expected}, expected)

    def test_a_file_wins_over_a_model(self):
        (self.tmp / "methane").write_text(json.dumps({"pseudoAtoms": [["CH3", [0, 0, 0]]]}),
                                          encoding="utf-8")
        built = self.boxwright_ok("pack", "--species", "methane", "--counts", "3", "--density",
                                  "300", "--force-field", FORCE_FIELD, "--json", cwd=self.tmp)
        self.assertEqual([t["name"] for t in json.loads(built.stdout)["atom_types"]], ["CH3"])

    def test_the_models_command_lists_shows_and_writes_a_start_for_ones_own(self):
        listed = self.boxwright_ok("models", cwd=self.tmp)
        rows = listed.stdout.splitlines()
        self.assertEqual(rows[0].split(),
                         ["NAME", "SITES", "SHAPE", "CHARGE", "CHECKED", "SOURCE"])
        self.assertEqual([row.split()[0] for row in rows[1:]], models.names())
        self.assertRegex(listed.stdout, r"\ntip4p2005 +4 +rigid +0 \(partial\) +yes +TIP4P/2005")
        self.assertRegex(listed.stdout, r"\nspce +3 +rigid +0 \(partial\) +no +SPC/E")
        shown = boxwright("models", "ethanol", cwd=self.tmp)
        self.assertIn("CH2_OH", shown.stdout)
        written = boxwright("models", "ethanol", "--write", "mine", cwd=self.tmp)
        self.assertEqual(written.stdout.split(), ["wrote", "mine/ethanol.json", "wrote",
                                                  "mine/ethanol.force_field.json"])
        again = boxwright("models", "ethanol", "--write", "mine", cwd=self.tmp)
        self.assertEqual((again.returncode, again.stderr),
                         (1, "boxwright: mine/ethanol.json exists; boxwright does not overwrite "
                             "it\n"))
        for args, status in ((["models", "etanol"], 1), (["models", "--write", "x"], 2)):
            self.assertEqual(boxwright(*args, cwd=self.tmp).returncode, status, args)
        # The copies build as the model does, from files of the user's own now.
        copy = pack.packmol([self.tmp / "mine" / "ethanol.json"], [3], 700.0,
                            force_field=self.tmp / "mine" / "ethanol.force_field.json",
                            out_dir=self.tmp / "copy")
        model = pack.packmol(["ethanol"], [3], 700.0, out_dir=self.tmp / "model")
        for name in ("data.lmp", "forcefield.lmp"):
            self.assertEqual(*((out / name).read_text(encoding="utf-8").split("\n", 3)[3:]
                               for out in (self.tmp / "copy", self.tmp / "model")), name)


def section(page, heading):
    return page.split(f"\n## {heading}\n", 1)[1].split("\n## ", 1)[0]


class ValidationPage(unittest.TestCase):
    """docs/validation.md compares each bundled model with its published density, or says that
    none was found: a model added to the library without either is missing from the page."""

    def test_names_every_bundled_model_once(self):
        page = (SOURCE_DIR / "docs" / "validation.md").read_text(encoding="utf-8")
        compared = set(re.findall(r"^- \*\*[^*]+\*\* \(([^)]+)\):",
                                  section(page, "The references"), re.M))
        without = set(re.findall(r"^- \*\*([^*]+)\*\*:",
                                 section(page, "Models without a published same-model value"),
                                 re.M))
        self.assertEqual(compared & without, set())
        self.assertEqual(sorted(compared | without), models.names())
