"""Builds whose memory once grew with what they would write or plan, each in a child process whose
peak resident memory (ru_maxrss) bounds the cost, well between what the builds take now and what
they took before."""

import json
import os
import pathlib
import subprocess
import sys

from boxwright import pack
from support import FORCE_FIELD, example, stand_in_packmol
from test_attacks import AttackTestCase

WATER = example("water.json")
MIB = 1 << 20
# Runs its arguments as a command with no standard output, passes its standard error and exit
# status on, and prints the command's peak resident memory in bytes.
PEAK_OF_CHILD = """
import resource, subprocess, sys
status = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL).returncode
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024)
sys.exit(status)
"""
WATERS_BEYOND_LAMMPS = 5_000_000_000  # 1.5e10 atoms: a data.lmp of some 3 TB

# Reports the call's growth of the peak resident memory, in bytes, after the call ran.
MEASURED = """
import json, resource, sys
grown = lambda before: (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) * 1024
{prepare}
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
{call}
print(json.dumps(grown(before)))
"""

# Every pair of `types` one-atom species explicit: a pair_coeff line per pair of types.
MANY_TYPES = MEASURED.format(prepare="""
from boxwright._native import pack_from_coords_py
directory, types, out_dir = sys.argv[1], int(sys.argv[2]), sys.argv[3]
species = [f"{directory}/T{n}.json" for n in range(types)]
coords = [[3.0 * n, 0.0, 0.0] for n in range(types)]
""", call="""
pack_from_coords_py(species, [1] * types, coords, 3.0 * types, force_field=f"{directory}/ff.json",
                    explicit_lb=True, out_dir=out_dir)
""")

# Waters on a cubic lattice 3.1 Å apart, as a float64 buffer, through the package, whose report
# measures the closest contact.
WATER_LATTICE = MEASURED.format(prepare="""
import array
from boxwright import pack
water, force_field, out_dir, waters = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
with open(water, encoding="utf-8") as file:
    sites = [position for _, position in json.load(file)["pseudoAtoms"]]
side = round(waters ** (1 / 3)) + 1
coords = array.array("d", (3.1 * (m // side ** k % side) + site[k] for m in range(waters)
                           for site in sites for k in range(3)))
coords = memoryview(coords).cast("B").cast("d", [len(coords) // 3, 3])
""", call="""
pack.from_coords(water, [waters], coords, 3.1 * side, force_field=force_field, out_dir=out_dir,
                 input_script=False)
""")


class MemoryBoundsTest(AttackTestCase):
    def test_a_system_beyond_lammps_is_refused_before_anything_starts(self):
        # A stand-in packmol leaves a mark if anything ever starts it.
        mark = self.tmp / "packmol-ran"
        env = {**os.environ, "PATH": stand_in_packmol(self.tmp, f"touch {mark}\nexit 1\n"),
               "TMPDIR": str(self.tmpdir)}
        xyz = self.tmp / "three.xyz"
        xyz.write_text("3\n\nOw 0 0 0\nHw 1 0 0\nHw 0 1 0\n", encoding="ascii")
        common = ["--species", WATER, "--counts", str(WATERS_BEYOND_LAMMPS), "--force-field",
                  FORCE_FIELD, "--out-dir", str(self.out)]
        cases = [
            ("split packing", ["pack", *common, "--density", "997", "--jobs", "2"]),
            ("from a coordinate file", ["from-coords", *common, "--coords", str(xyz),
                                        "--box-length", "20"]),
        ]
        for name, arguments in cases:
            with self.subTest(name):
                # Started from a small launcher: a child forked from this test's process would
                # count this process's own memory as its peak.
                done = subprocess.run([sys.executable, "-c", PEAK_OF_CHILD, sys.executable, "-m",
                                       "boxwright", *arguments],
                                      capture_output=True, text=True, env=env)
                stderr, peak = done.stderr, int(done.stdout)
                self.assertEqual(done.returncode, 1)
                self.assertEqual(stderr, "boxwright: the system has 15000000000 atoms, more than "
                                 "LAMMPS numbers: its atom IDs are 32-bit, at most 2147483647, "
                                 "unless LAMMPS is built with -DLAMMPS_BIGBIG (build fewer "
                                 "molecules)\n")
                self.assert_nothing_written()  # nor any temporary directory
                self.assertFalse(mark.exists(), "packmol was started")
                # Planning the split packing alone took 2 GB.
                self.assertLess(peak, 100 * MIB)

    def measured_growth(self, program, *arguments):
        done = subprocess.run([sys.executable, "-c", program, *map(str, arguments)],
                              capture_output=True, text=True, timeout=300, check=False)
        self.assertEqual(done.returncode, 0, done.stderr)
        return json.loads(done.stdout)

    def test_explicit_cross_terms_of_many_types_reach_forcefield_lmp_in_pieces(self):
        types = 1500
        names = [f"T{n}" for n in range(types)]
        force_field = {
            "MixingRule": "Lorentz-Berthelot",
            "PseudoAtoms": [{"name": name, "mass": 12.0, "charge": 0.0} for name in names],
            "SelfInteractions": [{"name": name, "type": "lennard-jones",
                                  "parameters": [50.0 + n % 50, 3.0 + n % 7 / 10]}
                                 for n, name in enumerate(names)],
        }
        (self.tmp / "ff.json").write_text(json.dumps(force_field), encoding="utf-8")
        for name in names:
            (self.tmp / f"{name}.json").write_text(
                json.dumps({"pseudoAtoms": [[name, [0, 0, 0]]]}), encoding="utf-8")
        grown = self.measured_growth(MANY_TYPES, self.tmp, types, self.out)
        written = (self.out / "forcefield.lmp").stat().st_size
        # 1.1 million pair_coeff lines; built whole, the text took three times its size.
        self.assertGreater(written, 50 * MIB)
        self.assertLess(grown, 16 * MIB)

    def test_the_closest_contact_of_many_atoms_costs_little_beside_them(self):
        waters = 100_000
        grown = self.measured_growth(WATER_LATTICE, WATER, FORCE_FIELD, self.out, waters)
        # Some 8 bytes an atom, and a megabyte a piece of file text; copies of the positions took
        # some 100 bytes an atom.
        self.assertLess(grown, 3 * waters * 40)

    def test_the_suggestion_for_an_undeclared_name_is_bounded(self):
        # One force field of `count` names of `length` characters, and a molecule whose one atom
        # is a name the force field lacks (the last declared one with its last letter changed).
        program = MEASURED.format(prepare="""
from boxwright import BuildError, pack
directory, count, length = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
names = [f"{n:0{length}d}" for n in range(count)]
with open(f"{directory}/ff.json", "w", encoding="utf-8") as file:
    json.dump({"PseudoAtoms": [{"name": name, "mass": 12.0, "charge": 0.0} for name in names]},
              file)
with open(f"{directory}/m.json", "w", encoding="utf-8") as file:
    json.dump({"pseudoAtoms": [[names[-1][:-1] + "x", [0, 0, 0]]]}, file)
""", call="""
try:
    pack.packmol(f"{directory}/m.json", [1], density=300, force_field=f"{directory}/ff.json",
                 out_dir=directory)
except BuildError as error:
    assert "did you mean" not in str(error), str(error)[-100:]
""")
        # 10,000 characters took 800 MB for the edit table; 2,000 names of 2,000, 49 s.
        for count, length in [(1, 10_000), (1, 60_000), (2_000, 2_000)]:
            with self.subTest(count=count, length=length):
                self.assertLess(self.measured_growth(program, self.tmp, count, length),
                                32 * MIB)


class BinaryInteractionChecksTest(AttackTestCase):
    def test_only_the_build_s_pairs_are_checked_and_repeats_are_counted(self):
        unused = [f"U{n}" for n in range(400)]
        bad = [f"W{n}" for n in range(5)]

        def with_types(document):
            document["PseudoAtoms"] += [{"name": n, "mass": 13.5 if n in bad else 12.011,
                                         "charge": 0.0} for n in unused + bad]
            document["SelfInteractions"] += [
                {"name": n, "type": "lennard-jones", "parameters": [50.0, 30.0 if n in bad else 3.5]}
                for n in unused + bad]
            # A sigma in nm for every pair of unused types, none of which the build writes.
            document["BinaryInteractions"] = [
                {"names": [a, b], "type": "lennard-jones", "parameters": [50.0, 0.35]}
                for i, a in enumerate(unused) for b in unused[i + 1:]]
        force_field = self.tmp / "ff.json"
        document = json.loads(pathlib.Path(FORCE_FIELD).read_text(encoding="utf-8"))
        with_types(document)
        force_field.write_text(json.dumps(document), encoding="utf-8")
        methane = example("methane.json")
        with self.subTest("unused pairs"):
            report = pack.from_coords(methane, [1], [[1, 1, 1]], 30.0, force_field=force_field,
                                      out_dir=self.out, strict=True)
            self.assertEqual(report.warnings, ())
        with self.subTest("five wells and masses alike"):
            species = []
            for name in bad:
                path = self.tmp / f"{name}.json"
                path.write_text(json.dumps({"pseudoAtoms": [[name, [0, 0, 0]]]}),
                                encoding="utf-8")
                species.append(path)
            report = pack.from_coords(species, [1] * 5, [[5.0 * n, 1, 1] for n in range(5)],
                                      40.0, force_field=force_field, out_dir=self.out,
                                      input_script=False)
            wells = [w for w in report.warnings if "sigma" in w]
            self.assertEqual(len(wells), 4, wells)
            self.assertEqual(wells[-1], "... and 2 more like it (sigma too wide)")
            masses = [w for w in report.warnings if "mass" in w]
            self.assertEqual(len(masses), 4, masses)
            self.assertEqual(masses[-1], "... and 2 more like it (a mass that fits no site)")
