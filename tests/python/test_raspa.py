"""The raspa path with the real RASPA3 and LAMMPS: RASPA3's final energy is LAMMPS's potential
energy at step 0 of the written files (same cutoffs, truncated Lennard-Jones with tail corrections
on both sides, an Ewald sum against PPPM at 1e-6), every atom is kept, held bonds keep their
length and LAMMPS runs the written in.lmp; and RASPA3 missing, failing, interrupted or out of time
leaves no child and no directory behind. Systems are small and runs short: RASPA3 is slow."""

import json
import math
import os
import pathlib
import signal
import subprocess
import sys

from boxwright import BuildError, models, pack
from boxwright.raspa_init import pack_with_raspa3
from support import (RASPA3, TempDirTestCase, boxwright, children_of, lmp, needs_lammps,
                     needs_raspa3, process_runs, run_variables, wait_until)

# LAMMPS's pe and RASPA3's final energy agree to this fraction; measured: 1e-4 and better.
AGREEMENT = 0.005
HELD = 1e-6  # Å: a rigid body or a FIXED bond is exact in RASPA3, to rounding

CASES = [  # title, species, counts, keywords of pack.raspa
    ("TIP4P/2005 water", ["tip4p2005"], [60],
     dict(density=997.0, cutoff=6.0, coulomb_cutoff=6.0)),
    ("CO2 + methane, NPT at 250 K and 10 MPa", ["co2", "methane"], [40, 40],
     dict(density=400.0, temperature=250.0, pressure=10.0, pressure_unit="MPa", cutoff=8.0,
          coulomb_cutoff=8.0)),
    ("flexible n-hexane", ["n-hexane"], [16], dict(density=600.0, cutoff=7.0)),
    ("ethanol in water", ["ethanol", "tip4p2005"], [6, 40],
     dict(density=950.0, cutoff=6.0, coulomb_cutoff=6.0)),
]


def lammps_step0(directory):
    """LAMMPS's potential energy of the written files with in.lmp's pair style and cutoffs, the
    long-range solver at an accuracy that matches RASPA3's Ewald sum (1e-6)."""
    inlmp = (directory / "in.lmp").read_text(encoding="utf-8").splitlines()
    forcefield = (directory / "forcefield.lmp").read_text(encoding="utf-8").splitlines()
    script = ["units real", "atom_style full", "read_data data.lmp", "include forcefield.lmp"]
    script += [line for line in inlmp if line.startswith(("pair_style", "special_bonds"))]
    script += [f"kspace_style {line.split()[1]} 1.0e-6" for line in forcefield
               if line.startswith("kspace_style")]
    script += ["thermo_style custom step pe", "thermo_modify format float %20.12g", "run 0"]
    (directory / "energy.in").write_text("\n".join(script) + "\n", encoding="utf-8")
    proc = lmp(["-in", "energy.in", "-log", "none", "-nocite"], directory)
    lines = proc.stdout.splitlines()
    header = max(n for n, line in enumerate(lines) if line.split()[:1] == ["Step"])
    return float(lines[header + 1].split()[1])


def held_lengths(positions, species, counts):
    """(found, reference) of every bond a rigid body or FixedBonds holds, over all molecules."""
    pairs, start = [], 0
    for name, count in zip(species, counts):
        molecule = json.loads(pathlib.Path(models.find(name).molecule).read_text())
        atoms = [p for _, p in molecule["pseudoAtoms"]]
        names = [n for n, _ in molecule["pseudoAtoms"]]
        fixed = {tuple(sorted(b)) for b in molecule.get("FixedBonds", [])}
        held = [(i, j) for i, j in molecule.get("Connectivity", [])
                if molecule.get("Type") == "rigid" or tuple(sorted((names[i], names[j]))) in fixed]
        for m in range(count):
            base = start + m * len(atoms)
            pairs += [(math.dist(positions[base + i], positions[base + j]),
                       math.dist(atoms[i], atoms[j])) for i, j in held]
        start += count * len(atoms)
    return pairs


@needs_raspa3
class RaspaPathTest(TempDirTestCase):
    def setUp(self):
        super().setUp()
        os.environ["BOXWRIGHT_RASPA3"] = RASPA3
        self.tmpdir = self.tmp / "tmpdir"
        self.tmpdir.mkdir()
        previous = os.environ.get("TMPDIR")
        os.environ["TMPDIR"] = str(self.tmpdir)
        self.addCleanup(lambda: os.environ.__setitem__("TMPDIR", previous) if previous
                        else os.environ.pop("TMPDIR", None))

    def raspa(self, species, counts, out, **keywords):
        keywords = {"init_cycles": 10, "cycles": 10, "seed": 7, "pressure": None, **keywords}
        return pack.raspa(species, counts, out_dir=out, **keywords)

    @needs_lammps
    def test_lammps_starts_where_raspa3_ended(self):
        for title, species, counts, keywords in CASES:
            with self.subTest(title):
                out = self.tmp / title.split()[0].replace("/", "")
                kept = self.tmp / (out.name + "-raspa")
                report = self.raspa(species, counts, out, keep_raspa_dir=kept, **keywords)
                self.assertEqual(sorted(p.name for p in out.iterdir()),
                                 ["data.lmp", "forcefield.lmp", "in.lmp"])
                self.assertEqual(report.totals.atoms,
                                 sum(c * s.atoms_per_molecule
                                     for c, s in zip(counts, report.species)))
                pe = lammps_step0(out)
                print(f"\n{title}: RASPA3 {report.raspa.energy_kcal:.4f} kcal/mol, LAMMPS "
                      f"{pe:.4f}, {abs(pe / report.raspa.energy_kcal - 1):.1e}")
                self.assertLess(abs(pe - report.raspa.energy_kcal),
                                AGREEMENT * abs(report.raspa.energy_kcal))
                self.assertTrue(any(p.name.startswith("restart_")
                                    for p in (kept / "output").iterdir()))
                # The positions LAMMPS got are RASPA3's, rigid bodies and held bonds exact.
                positions = self.positions_of(out / "data.lmp", report.totals.atoms)
                for found, reference in held_lengths(positions, species, counts):
                    self.assertAlmostEqual(found, reference, delta=1e-4)
                text = report.format()
                self.assertIn(f"{report.raspa.energy_kcal:.2f} kcal/mol", text)
                self.assertIn("RASPA3 acceptance: ", text)
                if keywords.get("pressure"):
                    self.assertIn("RASPA3 reached a box edge of", text)
                    self.assertIn(" at 10 MPa", text)
                    self.assertEqual(report.box_length, report.raspa.box_length)
                    # RASPA3 takes pascal; in.lmp keeps the unit.
                    simulation = json.loads((kept / "simulation.json").read_text())
                    self.assertEqual(simulation["Systems"][0]["ExternalPressure"], 1e7)
                    self.assertRegex((out / "in.lmp").read_text(), r"pressure index 10.0 +# MPa")
                self.run_in_lmp(out)

    def positions_of(self, data, atoms):
        lines = data.read_text(encoding="utf-8").splitlines()
        start = lines.index("Atoms") + 2
        rows = sorted((int(line.split()[0]), [float(v) for v in line.split()[4:7]])
                      for line in lines[start:start + atoms])
        return [position for _, position in rows]

    def run_in_lmp(self, out):
        proc = lmp([*run_variables(steps=20, start_steps=20, handover_steps=20), "-in", "in.lmp",
                    "-log", "none", "-nocite"], out)
        self.assertEqual(proc.returncode, 0, proc.stdout[-2000:] + proc.stderr[-2000:])
        self.assertNotIn("ERROR", proc.stdout)

    def test_positions_and_box_come_back_whole(self):
        result = pack_with_raspa3(["co2"], [20], 300.0, init_cycles=5, cycles=5, seed=3)
        self.assertEqual(result.positions.shape, (60, 3))
        rows = result.positions.tolist()
        for m in range(20):  # each molecule whole, its first atom in the box
            c, o1, o2 = rows[3 * m:3 * m + 3]
            self.assertTrue(all(0 <= x < result.box_len for x in c))
            self.assertAlmostEqual(math.dist(c, o1), 1.16, delta=HELD)
            self.assertAlmostEqual(math.dist(c, o2), 1.16, delta=HELD)
        self.assertEqual(result.counts, (20,))
        self.assertEqual(list(self.tmpdir.iterdir()), [])

    def test_a_missing_raspa3_says_how_to_install_it(self):
        os.environ["BOXWRIGHT_RASPA3"] = ""
        path = os.environ["PATH"]
        self.addCleanup(os.environ.__setitem__, "PATH", path)
        os.environ["PATH"] = str(self.tmp)
        for given in (None, str(self.tmp / "raspa3")):
            with self.subTest(raspa3=given), self.assertRaises(BuildError) as raised:
                pack_with_raspa3(["methane"], [5], 300.0, raspa3=given)
            self.assertIn("RASPA3", str(raised.exception))
            self.assertIn(".deb", str(raised.exception))
        self.assertEqual(list(self.tmpdir.iterdir()), [])

    def test_a_failing_raspa3_fails_with_its_message(self):
        # RASPA3 itself, given a simulation.json with a key it does not know.
        wrapper = self.tmp / "raspa3"
        wrapper.write_text("#!/bin/sh\nsed -i 's/\"SimulationType\"/\"NoSuchKey\": 1, "
                           f"\"SimulationType\"/' simulation.json\nexec {RASPA3}\n")
        wrapper.chmod(0o755)
        with self.assertRaises(BuildError) as raised:
            pack.raspa(["methane"], [5], 300.0, out_dir=self.tmp / "out", raspa3=wrapper,
                       init_cycles=1, cycles=1)
        self.assertRegex(str(raised.exception), r"RASPA3 failed \(exited with status 255\): .*"
                         "NoSuchKey")
        self.assertFalse((self.tmp / "out").exists())
        self.assertEqual(list(self.tmpdir.iterdir()), [])

    def test_a_stop_ends_raspa3_and_leaves_nothing(self):
        def stop(progress):
            self.assertEqual((progress.stage, progress.unit), ("RASPA3", "cycles"))
            raise KeyboardInterrupt

        with self.subTest("interrupted"), self.assertRaises(KeyboardInterrupt) as raised:
            pack_with_raspa3(["n-hexane"], [40], 600.0, init_cycles=500, cycles=500,
                             progress=stop)
        self.assertIn("RASPA3 interrupted after", raised.exception.__notes__[0])
        with self.subTest("timed out"), self.assertRaises(BuildError) as raised:
            pack_with_raspa3(["n-hexane"], [40], 600.0, init_cycles=500, cycles=500,
                             timeout=0.5)
        self.assertIn("RASPA3 stopped: the time limit of 0.5 s was spent", str(raised.exception))
        self.assertEqual(children_of(os.getpid()), [])
        self.assertEqual(list(self.tmpdir.iterdir()), [])

    def test_ctrl_c_on_the_command_line(self):
        command = [sys.executable, "-m", "boxwright", "raspa", "--species", "n-hexane",
                   "--counts", "40", "--density", "600", "--cycles", "500",
                   "--out-dir", str(self.tmp / "out")]
        run = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True, env={**os.environ, "TMPDIR": str(self.tmpdir)})
        self.addCleanup(run.kill)
        self.assertTrue(wait_until(lambda: children_of(run.pid), 60), "RASPA3 never started")
        child = children_of(run.pid)[0]
        run.send_signal(signal.SIGINT)
        _, stderr = run.communicate(timeout=60)
        self.assertEqual(run.returncode, 130, stderr)
        self.assertIn("boxwright: interrupted", stderr)
        self.assertFalse(process_runs(child))
        self.assertEqual(list(self.tmpdir.iterdir()), [])
        self.assertFalse((self.tmp / "out").exists())

    def test_command_line_reports_the_run(self):
        proc = boxwright("raspa", "--species", "tip4p2005", "--counts", "20", "--density", "997",
                         "--pressure", "none", "--init-cycles", "5", "--cycles", "5",
                         "--cutoff", "4", "--coulomb-cutoff", "4", "--json",
                         "--out-dir", self.tmp / "out")
        self.assertEqual(proc.returncode, 0, proc.stderr)
        run = json.loads(proc.stdout)["raspa"]
        self.assertEqual((run["init_cycles"], run["cycles"], run["pressure"]), (5, 5, None))
        moves = {a["move"]: a["ratio"] for a in run["acceptance"]}
        self.assertEqual(sorted(moves), ["Rotation", "Translation"])
        self.assertTrue(all(0 <= ratio <= 1 for ratio in moves.values()))
