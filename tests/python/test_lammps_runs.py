"""The real LAMMPS runs the in.lmp written beside data.lmp and forcefield.lmp, as written: for
each example species alone and for mixtures of rigid and flexible species under every preset.
Each run (minimisation or limited-displacement start, then a short NPT run) must end without an
error and keep every atom, water and CO2 their exact shapes."""

import json
import math
import pathlib
import re
import subprocess
import sys

from boxwright import pack
from boxwright.pack import PyPairSetup as P
from support import (FORCE_FIELD, TempDirTestCase, boxwright, example, lmp, needs_lammps,
                     run_lammps, run_variables)

# Few molecules and steps: the point is that every command of the script is taken.
SHORT = {"start_steps": 300, "handover_steps": 100, "steps": 100}
CUSTOM_PAIR_STYLE = "pair_style lj/cut/coul/cut 10.0\npair_modify mix arithmetic tail yes\n"


def run_in_lmp(directory, variables, pair_style=None, ranks=1, env=None):
    """Runs in.lmp as written (a pair style of our own in place of the placeholder where there
    is no preset), on `ranks` MPI processes with `env` added, then writes the final state;
    returns the screen text."""
    script = pathlib.Path(directory, "in.lmp")
    text = script.read_text(encoding="utf-8")
    if pair_style is not None:
        placeholder = text[text.index("print "):text.index("include ")]
        text = text.replace(placeholder, pair_style)
    script.write_text(text + "write_data after.data nocoeff\n", encoding="utf-8")
    proc = lmp([*run_variables(**variables), "-in", "in.lmp", "-log", "none", "-nocite"], directory, ranks, env=env)
    screen = proc.stdout + proc.stderr
    if proc.returncode != 0 or "ERROR" in screen:
        tail = "\n".join(screen.splitlines()[-20:])
        raise AssertionError(f"lmp failed with status {proc.returncode}:\n{tail}")
    return screen


def final_state(directory):
    """The box edge and, by atom ID, (molecule, x, y, z) of after.data."""
    lines = pathlib.Path(directory, "after.data").read_text(encoding="utf-8").splitlines()
    lo, hi = map(float, next(ln for ln in lines if ln.endswith("xlo xhi")).split()[:2])
    start = next(n for n, ln in enumerate(lines) if ln.startswith("Atoms")) + 2
    atoms = {}
    for line in lines[start:]:
        if not line.strip():
            break
        f = line.split()
        atoms[int(f[0])] = (int(f[1]), *map(float, f[4:7]))
    return hi - lo, atoms


def velocities(path):
    """By atom ID, (vx, vy, vz) of the Velocities section of a data file."""
    body = pathlib.Path(path).read_text(encoding="utf-8").split("\nVelocities\n\n")[1]
    return {int(f[0]): list(map(float, f[1:]))
            for f in map(str.split, body.split("\n\n")[0].splitlines())}


def molecule_frames(path):
    """By molecule, of a dump of id, mol, mass, xu, yu, zu: the centre of mass, the unit vector
    from the first atom to the last, and the farthest any atom lies from that line."""
    lines = pathlib.Path(path).read_text(encoding="utf-8").splitlines()
    rows = sorted(map(str.split, lines[lines.index("ITEM: ATOMS id mol mass xu yu zu") + 1:]),
                  key=lambda f: int(f[0]))
    atoms = {}
    for f in rows:
        atoms.setdefault(int(f[1]), []).append((float(f[2]), [float(v) for v in f[3:6]]))
    frames = {}
    for molecule, members in atoms.items():
        mass = sum(m for m, _ in members)
        centre = [sum(m * p[k] for m, p in members) / mass for k in range(3)]
        first, last = members[0][1], members[-1][1]
        length = math.dist(first, last)
        axis = [(b - a) / length for a, b in zip(first, last)]
        off_line = 0.0
        for _, position in members:
            d = [b - a for a, b in zip(first, position)]
            along = sum(c * u for c, u in zip(d, axis))
            off_line = max(off_line, math.dist(d, [along * u for u in axis]))
        frames[molecule] = centre, axis, off_line
    return frames


def bond_lengths(directory, species_atoms, first_atom, pairs):
    """The lengths of the given atom pairs (0-based within a molecule) in every molecule of a
    species whose molecules start at atom ID `first_atom`, by minimum image."""
    edge, atoms = final_state(directory)
    size, count = species_atoms
    lengths = []
    for molecule in range(count):
        base = first_atom + molecule * size
        for i, j in pairs:
            a, b = atoms[base + i][1:], atoms[base + j][1:]
            lengths.append(math.dist([0, 0, 0], [(q - p + edge / 2) % edge - edge / 2
                                                 for p, q in zip(a, b)]))
    return lengths


def reference_length(path, i, j):
    atoms = json.loads(pathlib.Path(path).read_text(encoding="utf-8"))["pseudoAtoms"]
    return math.dist(atoms[i][1], atoms[j][1])


@needs_lammps
class LammpsRunsOurInput(TempDirTestCase):
    def build_and_run(self, out, mixture, pair_style="auto", pair=None, force_field=FORCE_FIELD,
                      **options):
        species, counts = zip(*mixture)
        report = pack.packmol([example(f"{name}.json") for name in species], list(counts), 500.0,
                              pair_style=pair_style, force_field=force_field, out_dir=out,
                              **options)
        run_in_lmp(out, SHORT, pair)
        _, atoms = final_state(out)
        self.assertEqual(len(atoms), report.totals.atoms)
        return report

    def assert_rigid_shapes(self, out, mixture):
        """Water's O-H and CO2's C=O lengths as in their molecule files, to 5e-4 Å: a rigid body
        bent across the box's faces is off by 3e-3, while SHAKE's bonds in the state written
        right after a barostat's step are off by that step's strain, up to 2e-4 early in these
        short runs."""
        first = 1
        for name, count in mixture:
            size = {"water": 3, "co2": 3}.get(name)
            if size:
                reference = reference_length(example(f"{name}.json"), 0, 1)
                for length in bond_lengths(out, (size, count), first, [(0, 1), (0, 2)]):
                    self.assertAlmostEqual(length, reference, delta=5e-4, msg=name)
            atoms = json.loads(pathlib.Path(example(f"{name}.json")).read_text())["pseudoAtoms"]
            first += count * len(atoms)

    def test_each_example_species_alone(self):
        for name, count in (("water", 30), ("co2", 20), ("methane", 30), ("ethane", 20),
                            ("propane", 15), ("butane", 12)):
            with self.subTest(name):
                self.build_and_run(self.tmp / name, [(name, count)])
                self.assert_rigid_shapes(self.tmp / name, [(name, count)])

    def test_mixtures_under_every_preset(self):
        cases = [
            ("water after methane, Tip4p", [("methane", 10), ("water", 30)], P.Tip4p, None),
            ("straight CO2 with water, Tip4p", [("co2", 10), ("water", 30)], P.Tip4p, None),
            ("flexible butane with rigid CO2", [("butane", 8), ("co2", 10)], P.LjCutCoulLong,
             None),
            ("LjCut", [("butane", 8), ("methane", 12)], P.LjCut, None),
            # No preset: the user's pair style goes where the script says.
            ("no preset", [("water", 20), ("ethane", 8)], None, CUSTOM_PAIR_STYLE),
        ]
        for number, (name, mixture, preset, pair) in enumerate(cases):
            with self.subTest(name):
                out = self.tmp / str(number)
                self.build_and_run(out, mixture, preset, pair)
                self.assert_rigid_shapes(out, mixture)

    def test_straight_molecules_go_onto_their_own_axes(self):
        # Each minimised CO2 is put exactly onto its own axis, through its own centre of mass.
        # glibc fills fresh memory with 0x5a bytes (2e127 as a double) under MALLOC_PERTURB_, so
        # a sum LAMMPS leaves uncleared turns its molecule, where otherwise it would do so only
        # for some heaps (a run then lost atoms).
        pack.packmol([example("co2.json")], [30], 700.0, force_field=FORCE_FIELD,
                     out_dir=self.tmp, pressure=None)
        text = (self.tmp / "in.lmp").read_text(encoding="utf-8")
        start, end = text.index("# co2 put exactly"), text.index("group           bodies")
        dump = "write_dump all custom {}.dump id mol mass xu yu zu modify format float %.12f\n"
        (self.tmp / "in.lmp").write_text(text[:start] + dump.format("minimised") +
                                         text[start:end] + dump.format("straightened"))
        run_in_lmp(self.tmp, {}, env={"MALLOC_PERTURB_": "165"})
        minimised, straightened = (molecule_frames(self.tmp / f"{name}.dump")
                                   for name in ("minimised", "straightened"))
        for molecule, (was_centre, was_axis, _) in minimised.items():
            centre, axis, off_line = straightened[molecule]
            with self.subTest(molecule=molecule):
                self.assertLess(off_line, 1e-6)
                self.assertLess(math.dist(was_centre, centre), 0.01)
                self.assertGreater(sum(a * b for a, b in zip(was_axis, axis)),
                                   math.cos(math.radians(1)))

    def test_sources_that_lammps_would_read_as_syntax_stay_comments(self):
        # Three double quotes make LAMMPS join the lines that follow; a final '&' continues a line:
        # either would swallow the commands after the sources, SHAKE's among them.
        force_field = json.loads(pathlib.Path(FORCE_FIELD).read_text(encoding="utf-8"))
        force_field["PseudoAtoms"][0]["source"] = 'TIP4P/2005, """the" model'
        force_field["PseudoAtoms"][1]["source"] = "Abascal &"
        path = self.tmp / "ff.json"
        path.write_text(json.dumps(force_field), encoding="utf-8")
        self.build_and_run(self.tmp / "water", [("water", 30)], force_field=path)
        self.assert_rigid_shapes(self.tmp / "water", [("water", 30)])
        forcefield = (self.tmp / "water" / "forcefield.lmp").read_text(encoding="utf-8")
        self.assertIn("#   TIP4P/2005, \"'\"the\" model\n", forcefield)
        self.assertIn("#   Abascal &.\n", forcefield)

    def test_nvt_keeps_the_box(self):
        out = self.tmp / "nvt"
        report = self.build_and_run(out, [("co2", 10), ("propane", 8)], explicit_lb=True,
                                    pressure=None)
        self.assertAlmostEqual(final_state(out)[0], report.box_length, places=6)

    def test_bonds_held_by_shake_survive_the_hand_over(self):
        # The Berendsen barostat rescales every atom each step: too strong, it stretched the bonds
        # SHAKE holds in propane until their constraint forces turned the pressure's sign every
        # step and LAMMPS lost the atoms, within 30 steps of the hand-over.
        out = self.tmp / "propane"
        pack.packmol(["propane"], [60], 520.0, out_dir=out, temperature=248.0, pressure=49.35)
        run_in_lmp(out, {"start_steps": 300, "handover_steps": 300, "steps": 10})

    def test_the_pair_style_given_again_keeps_the_coefficients(self):
        # in.lmp gives the preset's pair style again with the force field's 12 Å: the energies
        # are those of forcefield.lmp with 12 Å written into it, so LAMMPS kept every pair_coeff
        # and the pair_modify line of the first one.
        pack.packmol([example("co2.json"), example("propane.json")], [12, 8], 500.0,
                     pair_style=P.LjCutCoulLong, force_field=FORCE_FIELD, out_dir=self.tmp)
        text = (self.tmp / "forcefield.lmp").read_text(encoding="utf-8")
        again = next(line for line in (self.tmp / "in.lmp").read_text().splitlines()
                     if line.startswith("pair_style"))
        self.assertEqual(again.split(), ["pair_style", "lj/cut/coul/long", "12.0", "10.0"])
        (self.tmp / "ff12.lmp").write_text(
            text.replace("pair_style lj/cut/coul/long 10.0 10.0", " ".join(again.split())))
        given_again, _ = run_lammps(self.tmp, after=again)
        written_in, _ = run_lammps(self.tmp, forcefield="ff12.lmp")
        preset, _ = run_lammps(self.tmp)
        self.assertEqual(given_again, written_in)
        self.assertNotEqual(given_again["evdwl"], preset["evdwl"])

    def test_cutoffs_and_accuracy_from_the_command_line(self):
        # LAMMPS says what it runs with: the 12 Å cutoffs and the 2 Å skin (12 Å without the
        # options), a PPPM error estimate within the accuracy asked for (4.5e-5 without).
        field = json.loads(pathlib.Path(FORCE_FIELD).read_text(encoding="utf-8"))
        (self.tmp / "ff.json").write_text(json.dumps({**field, "CutOffVDW": 9}))
        built = subprocess.run(
            [sys.executable, "-m", "boxwright", "pack", "--species", example("co2.json"),
             example("propane.json"), "--counts", "12", "8", "--density", "500", "--force-field",
             "ff.json", "--cutoff", "12", "--coulomb-cutoff", "12", "--kspace-accuracy", "1e-5"],
            cwd=self.tmp, capture_output=True, text=True, timeout=300)
        self.assertEqual(built.returncode, 0, built.stderr)
        screen = run_in_lmp(self.tmp, SHORT)
        self.assertIn("master list distance cutoff = 14\n", screen)
        errors = re.findall(r"estimated relative force accuracy = (\S+)", screen)
        self.assertTrue(errors and all(float(error) <= 1e-5 for error in errors), errors)

    # The run settings of the command line are in.lmp's as written: LAMMPS converts the pressure
    # to its atm, prints thermo lines every 10 steps of the production and writes no trajectory.
    def test_run_settings_from_the_command_line(self):
        built = boxwright("pack", "--species", example("co2.json"), example("propane.json"),
                          "--counts", 10, 10, "--density", 400, "--force-field", FORCE_FIELD,
                          "--pressure", 5, "--pressure-unit", "MPa", "--dump-every", 0,
                          "--thermo-every", 10, "--start-steps", 50, "--handover-steps", 50,
                          "--steps", 20, cwd=self.tmp)
        self.assertEqual(built.returncode, 0, built.stderr)
        script = self.tmp / "in.lmp"
        script.write_text(script.read_text() + 'print "pressure_atm ${pressure_atm}"\n')
        screen = run_in_lmp(self.tmp, {})
        self.assertAlmostEqual(float(re.findall(r"^pressure_atm (\S+)$", screen, re.M)[-1]),
                               5e6 / 101325, places=9)
        production = screen.split("Step")[-1].split("Loop time")[0]  # its thermo lines
        self.assertEqual(re.findall(r"^\s+(\d+)\s", production, re.M), ["0", "10", "20"])
        self.assertFalse((self.tmp / "trajectory.lammpstrj").exists())

    def test_round_trip_through_final_data(self):
        # Water (SHAKE), straight CO2 (rigid bodies) and flexible butane run with one preset, then
        # rebuilt from its final.data with another: its thermally stretched bonds fit the molecule
        # files, and data.lmp has the velocities of final.data, and runs.
        species = [example("water.json"), example("co2.json"), example("butane.json")]
        counts = [30, 10, 10]
        first, second = self.tmp / "first", self.tmp / "second"
        pack.packmol(species, counts, 500.0, pair_style=P.Tip4p, force_field=FORCE_FIELD,
                     out_dir=first)
        run_in_lmp(first, {"start_steps": 100, "handover_steps": 100, "steps": 300})
        self.assertTrue((first / "final.restart").is_file())
        pack.from_coords(species, counts, first / "final.data", pair_style=P.LjCutCoulLong,
                         force_field=FORCE_FIELD, out_dir=second)
        final, rebuilt = velocities(first / "final.data"), velocities(second / "data.lmp")
        self.assertEqual(rebuilt.keys(), final.keys())
        worst = max(abs(ours / theirs - 1)
                    for atom in final for ours, theirs in zip(rebuilt[atom], final[atom]))
        self.assertLess(worst, 5e-7)  # data.lmp keeps seven significant digits
        run_in_lmp(second, {"steps": 100})
