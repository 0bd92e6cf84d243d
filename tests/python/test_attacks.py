"""Faults and hostile input, each tried against the built module with the outcome it must have:
the exception and its message, the files of an earlier build untouched after a failure, no
temporary directory and no child process left behind, bounded memory. Stand-in `packmol` scripts
on PATH play the faults the real program cannot; an interrupt is tried on the real one too."""

import array
import contextlib
import fcntl
import json
import math
import os
import pathlib
import re
import resource
import shutil
import signal
import subprocess
import sys
import time
import unittest

from boxwright import BuildError, pack
from boxwright._engine import build_from_coords, build_packmol
from boxwright._native import PyPairSetup, pack_from_coords_py
from boxwright import models as boxwright_models
from support import (FORCE_FIELD, TempDirTestCase, atoms_of, boxwright, children_of,
                     edited_json, example, lattice_coordinates, lmp, needs_lammps, process_runs,
                     run_lammps, run_variables, stand_in_packmol, wait_until, write_data_file)

WATER, BUTANE = example("water.json"), example("butane.json")
EARLIER = {"data.lmp": b"data of an earlier build\n", "forcefield.lmp": b"its force field\n"}

# A build in a fresh interpreter, so that it can be interrupted or killed and its memory measured.
# SIGINT gets its usual handler even when the test runner was started with it ignored.
BUILD = """
import json, resource, signal, sys
signal.signal(signal.SIGINT, signal.default_int_handler)
from boxwright._native import pack_packmol_py
species, counts, density, force_field, out_dir = json.loads(sys.argv[1])
peak = lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
before = peak()
print("started", flush=True)
try:
    pack_packmol_py(species, counts, density, force_field=force_field, out_dir=out_dir)
    outcome = {"raised": None, "message": None}
except BaseException as error:
    outcome = {"raised": type(error).__name__, "message": str(error)}
outcome["grew_kib"] = peak() - before
print(json.dumps(outcome))
"""

# The same build through the package's engine, which writes in.lmp as well.
ENGINE_BUILD = BUILD.replace("from boxwright._native import pack_packmol_py",
                             "from boxwright._engine import build_packmol as pack_packmol_py")
# The engine's build with the box split in two, both halves packed at once.
SPLIT_BUILD = ENGINE_BUILD.replace("out_dir=out_dir)", "out_dir=out_dir, jobs=2, subboxes=(2, 1, 1))")


class AttackTestCase(TempDirTestCase):
    def setUp(self):
        super().setUp()
        self.out = self.tmp / "out"
        self.out.mkdir()
        for name, text in EARLIER.items():
            (self.out / name).write_bytes(text)
        self.tmpdir = self.tmp / "tmpdir"
        self.tmpdir.mkdir()

    def assert_nothing_written(self):
        self.assertEqual({p.name: p.read_bytes() for p in self.out.iterdir()}, EARLIER)
        self.assertEqual(list(self.tmpdir.iterdir()), [])

    def assert_refused(self, error, message, call, *args, **kwargs):
        self.assert_raises_exactly(error, message, call, *args, **kwargs)
        self.assert_nothing_written()


class PackmolFaultsTest(AttackTestCase):
    def start(self, script, species=(WATER,), counts=(2,), density=300.0, tmpdir=None,
              program=BUILD, force_field=FORCE_FIELD):
        """The build in a fresh interpreter, with a stand-in packmol running `script` (None: the
        real one)."""
        path = os.environ["PATH"] if script is None else stand_in_packmol(self.tmp, script)
        env = {**os.environ, "PATH": path, "TMPDIR": str(tmpdir or self.tmpdir)}
        request = json.dumps([[str(s) for s in species], list(counts), density, str(force_field),
                              str(self.out)])
        build = subprocess.Popen([sys.executable, "-c", program, request], env=env, text=True,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 start_new_session=True)
        self.addCleanup(build.kill)
        self.assertEqual(build.stdout.readline(), "started\n")
        return build

    def outcome(self, build, seconds=120):
        stdout, stderr = build.communicate(timeout=seconds)
        self.assertEqual(build.returncode, 0, stderr)
        return json.loads(stdout)

    def packmol_of(self, build):
        self.assertTrue(wait_until(lambda: children_of(build.pid)), "packmol never started")
        return children_of(build.pid)[0]

    def test_an_interrupt_stops_every_packmol_and_writes_nothing(self):
        cases = [  # the stand-in packmol (None: the real one), the build, the packmols it runs
            ("real packmol", None, dict(species=[BUTANE], counts=[3000], density=2500.0), 1),
            ("packmol that sleeps", "exec sleep 600\n", {}, 1),
            ("packmol that ignores SIGTERM", "trap '' TERM\nwhile :; do sleep 1; done\n", {}, 1),
            ("a split box", "exec sleep 600\n",
             dict(counts=(8,), density=100.0, program=SPLIT_BUILD), 2),
        ]
        for name, script, request, running in cases:
            with self.subTest(name):
                build = self.start(script, **request)
                self.assertTrue(wait_until(lambda: len(children_of(build.pid)) == running),
                                "packmol never ran")
                packmols = children_of(build.pid)
                time.sleep(1)  # the real one is well into its work by then
                os.killpg(build.pid, signal.SIGINT)
                self.assertEqual(self.outcome(build, seconds=20)["raised"], "KeyboardInterrupt")
                self.assertEqual([pid for pid in packmols if process_runs(pid)], [])
                self.assert_nothing_written()

    def test_sigterm_ends_the_command_line_as_ctrl_c_does(self):
        # kill, timeout and batch schedulers send SIGTERM to the process alone.
        env = {**os.environ, "PATH": stand_in_packmol(self.tmp, "exec sleep 600\n"),
               "TMPDIR": str(self.tmpdir)}
        build = subprocess.Popen(
            [sys.executable, "-m", "boxwright", "pack", "--species", WATER, "--counts", "2",
             "--density", "300", "--force-field", FORCE_FIELD, "--out-dir", self.out],
            env=env, text=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(build.kill)
        packmol = self.packmol_of(build)
        build.terminate()
        _, stderr = build.communicate(timeout=20)
        self.assertEqual((build.returncode, stderr.splitlines()[0]), (143, "boxwright: terminated"))
        self.assertFalse(process_runs(packmol))
        self.assert_nothing_written()

    def test_packmol_does_not_outlive_the_caller(self):
        build = self.start("exec sleep 600\n")
        packmol = self.packmol_of(build)
        build.kill()
        build.communicate()
        self.assertTrue(wait_until(lambda: not process_runs(packmol), 10))
        shutil.rmtree(self.tmpdir)  # nobody was left to remove the working directory
        self.tmpdir.mkdir()

    def test_packmol_faults_end_the_build_with_an_explanation(self):
        talk = 300_000_000
        work_dir = re.escape(str(self.tmpdir)) + r"/\.tmp\w{6}/"
        cases = [
            # Memory stays flat however much packmol prints, and so does the message.
            ("talkative", f"head -c {talk} /dev/zero\nexit 1\n",
             "packmol did not produce the expected output file " + work_dir + r"simbox\.pdb\n"
             r"packmol exited with status Some\(1\):\nstdout:\n\0{65536}\n"
             rf"\.\.\. {talk - 2 * 65536} bytes left out \.\.\.\n\0{{65536}}\nstderr:\n"),
            ("output is a FIFO", "mkfifo simbox.pdb\n",
             "reading packmol output " + work_dir + r"simbox\.pdb: not a regular file"),
        ]
        for name, script, message in cases:
            with self.subTest(name):
                outcome = self.outcome(self.start(script))
                self.assertEqual(outcome["raised"], "RuntimeError")
                self.assertRegex(outcome["message"], "^" + message + "$")
                self.assert_nothing_written()
                self.assertLess(outcome["grew_kib"], 64 * 1024)

    # Packmol reads the template's fields by byte columns: a name of two-byte characters
    # shifted the coordinates (0.5 Å bonds in place of 1.5 Å) or the residue number. Blanks in
    # the paths reach it as well.
    def test_blanks_and_names_beyond_ascii_reach_the_real_packmol(self):
        force_field = edited_json(FORCE_FIELD, self.tmp / "ff.json", lambda d: d[
            "PseudoAtoms"].append({"name": "€€", "mass": 15.035, "charge": 0.0}))
        (self.tmp / "123.json").write_text(json.dumps(
            {"Type": "rigid", "pseudoAtoms": [["€€", [0, 0, 0]], ["€€", [1.5, 0, 0]]],
             "Connectivity": [[0, 1]]}), encoding="utf-8")
        shutil.copy(WATER, self.tmp / "my wäter.json")
        tmpdir = self.tmp / "a b"
        tmpdir.mkdir()
        outcome = self.outcome(self.start(None, species=[self.tmp / "my wäter.json",
                                                         self.tmp / "123.json"],
                                          counts=[3, 3], force_field=force_field,
                                          tmpdir=tmpdir))
        self.assertEqual(outcome["raised"], None, outcome["message"])
        data = (self.out / "data.lmp").read_text(encoding="utf-8")
        self.assertIn("  # Ow my wäter\n", data)
        positions = [list(map(float, line.split()[4:7])) for line in data.splitlines()
                     if line.endswith("# €€ 123")]
        self.assertEqual(len(positions), 6)
        for first, second in zip(positions[::2], positions[1::2]):
            self.assertAlmostEqual(math.dist(first, second), 1.5, delta=0.01)
        self.assertEqual(list(tmpdir.iterdir()), [])


class HostileInputTest(AttackTestCase):
    def edited(self, source, name, edit):
        return edited_json(source, self.tmp / name, edit)

    def build(self, species=(WATER,), counts=(1,), coords=((0, 0, 0),) * 3, box_len=20.0,
              force_field=FORCE_FIELD, entry=pack_from_coords_py):
        return entry([str(s) for s in species], list(counts), coords, box_len,
                     force_field=str(force_field), out_dir=str(self.out))

    def test_names_bonds_and_files_that_would_corrupt_the_lammps_files_or_block(self):
        ampersand = self.edited(FORCE_FIELD, "amp.json", lambda d: d["PseudoAtoms"].append(
            {"name": "CH4&", "mass": 16.043, "charge": 0.0}))
        quotes = self.edited(WATER, 'w""".json', lambda document: None)
        star = self.edited(WATER, "star.json", lambda d: d.update(
            pseudoAtoms=[["Ow", [0, 0, 0]]] + [["Hw", [1, 0, 0]]] * 1500,
            Connectivity=[[0, k] for k in range(1, 1501)]))
        cases = [
            ("pseudo-atom ending in '&'", dict(force_field=ampersand),
             f"pseudo-atom name \"CH4&\" in {ampersand} contains '\"' or '&', which LAMMPS reads "
             "as syntax even in a comment"),
            ("species file name with quotes", dict(species=[quotes]),
             f"species name \"w\\\"\\\"\\\"\" in {quotes} contains '\"' or '&', which LAMMPS "
             "reads as syntax even in a comment"),
            ("a star of 1500 bonds on one atom", dict(species=[star]),
             f"{star} Connectivity gives 1124250 angles and up to 0 dihedrals, more than the "
             "limit of 1000000 of either in one molecule (one atom has 1500 bonds)"),
        ]
        for name, request, message in cases:
            with self.subTest(name):
                self.assert_refused(RuntimeError, message, self.build, **request)

    def test_positions_and_boxes_that_describe_no_system(self):
        nan = float("nan")
        float32 = memoryview(array.array("f", [0, 0, 0, 1, nan, 0, 0, 1, 0])).cast("B")
        cases = [
            ("NaN", dict(coords=((0, 0, 0), (1, nan, 0), (0, 1, 0))),
             "coords[1] has y = nan; expected finite [x, y, z]"),
            ("NaN in a float32 buffer", dict(coords=float32.cast("f", [3, 3])),
             "coords[1] has y = nan; expected finite [x, y, z]"),
            ("box NaN", dict(box_len=nan), "box_len must be a positive finite number, got nan"),
            ("box zero", dict(box_len=0), "box_len must be a positive finite number, got 0.0"),
        ]
        for name, request, message in cases:
            for entry in (pack_from_coords_py, build_from_coords):
                with self.subTest(name, entry=entry.__name__):
                    self.assert_refused(ValueError, message, self.build, entry=entry, **request)

    def test_coordinate_files_that_would_crash_flood_or_mislead(self):
        def data_file(low, high, flags):
            path = write_data_file(self.tmp / "x", [f"1 1 1 0.0 1.0 2.0 3.0 {flags}"], low, high)
            return pathlib.Path(path).read_text(encoding="utf-8")

        def xyz_file(properties, line="CH4 1 2 3"):
            return f'1\n{properties} Lattice="20 0 0 0 20 0 0 0 20"\n{line}\n'

        def widths(properties):
            return ("wide.xyz", xyz_file(f"Properties={properties}"), 2,
                    f"Properties declares more than 1024 columns: '{properties}'")

        cases = [
            ("a width that wraps the column", *widths("foo:R:18446744073709551613:pos:R:3")),
            ("a width that wraps the name's column",
             *widths("pos:R:3:foo:R:18446744073709551612:species:S:1")),
            ("a width of 10^8", *widths("foo:R:100000000:pos:R:3")),
            ("terminal controls, and a long line", "esc.xyz",
             xyz_file("", "\x1b[31mCH4\r" + "0" * 300), 3,
             "expected 'name x y z', found '\\u{1b}[31mCH4\\u{d}" + "0" * 111
             + "... (309 bytes in all)'"),
            ("an image flag beyond LAMMPS's", "flag.data", data_file(0, 20, "2147483648 0 0"), 12,
             "the image flag '2147483648' is beyond what LAMMPS stores (-1048576 to 1048575): is "
             "the Atoms section in another layout?"),
            ("a box that unwraps to infinity", "inf.data", data_file(-8e307, 8e307, "1 0 0"), 12,
             "the image flags put the atom beyond any finite position"),
        ]
        for name, file_name, text, line, message in cases:
            with self.subTest(name):
                path = self.tmp / file_name
                path.write_text(text, encoding="utf-8")
                self.assert_refused(BuildError, f"{path}:{line}: {message}", self.build,
                                    species=[example("methane.json")], coords=str(path),
                                    box_len=None, entry=build_from_coords)

    def test_settings_that_describe_no_buildable_system(self):
        methane = example("methane.json")
        packing = dict(species=[methane], counts=[3], density=300.0, force_field=FORCE_FIELD,
                       out_dir=str(self.out))
        cases = [
            ("a density that leaves no room", build_packmol, dict(density=1e300),
             "the density of 1e+300 kg/m³ gives a box 4.307e-99 Å wide, under the 1 Å that any "
             "molecule needs"),
            ("a billion molecules for one Packmol run", build_packmol, dict(counts=[10**9]),
             "one Packmol run packs at most 10000000 atoms, and the system has 1000000000: give "
             "jobs to split the box into sub-boxes"),
            # Wrapped past 2^64, the counts would sum to none, and a split packing be planned
            # for that (the message is output_set_test.cpp's).
            ("counts whose sum wraps", build_packmol,
             dict(species=[methane, example("ethane.json")], counts=[2**63] * 2, jobs=1),
             "system too large: the total number of molecules exceeds the 64-bit range at "
             "9223372036854775808 copies of molecule 'ethane'"),
            ("more steps than LAMMPS runs", build_packmol, dict(steps=2**64 - 1),
             "steps must be at most 2147483647, the most LAMMPS's run command takes, got "
             "18446744073709551615"),
            ("a box of 1e-300 Å", build_from_coords,
             dict(coords=[[0, 0, 0]], box_len=1e-300, density=None, counts=[1]),
             "the coordinates come in a box 1e-300 Å wide, under the 1 Å that any molecule "
             "needs"),
        ]
        for name, entry, request, message in cases:
            with self.subTest(name):
                arguments = {**packing, **request}
                if entry is build_from_coords:
                    del arguments["density"]
                self.assert_refused(BuildError, message, entry, **arguments)


class LammpsRefusalTest(AttackTestCase):
    """Files LAMMPS would refuse or hang on: refused here with the reason, or written in a form
    LAMMPS runs, shown by running it."""

    def waters(self):
        """Four-site waters the TIP4P pair style cannot run, by what is wrong with them, and the
        force field they share (the examples' with a deuterium, and a hydrogen with a well)."""
        def molecule(name, **changes):
            return edited_json(WATER, self.tmp / f"{name}.json", lambda d: d.update(changes))

        def add_atoms(document):
            document["PseudoAtoms"] += [{"name": "Dw", "mass": 2.014, "charge": 0.5564},
                                        {"name": "Hlj", "mass": 1.008, "charge": 0.5564}]
            document["SelfInteractions"] += [
                {"name": "Dw", "type": "lennard-jones", "parameters": [0.0, 0.0]},
                {"name": "Hlj", "type": "lennard-jones", "parameters": [5.0, 1.0]}]
        force_field = edited_json(FORCE_FIELD, self.tmp / "ff.json", add_atoms)
        o, h = [0.0, 0.0, 0.0], [0.7569503, 0.5858823, 0.0]
        h2 = [-0.7569503, 0.5858823, 0.0]
        waters = {
            "is flexible, and the TIP4P pair style holds the M site of a rigid water only":
                molecule("flexible", Type="flexible",
                         Bonds=[[["Ow", "Hw"], "HARMONIC", [533000, 0.9572]]],
                         Bends=[[["Hw", "Ow", "Hw"], "HARMONIC", [38000, 104.52]]]),
            "has two different pseudo atoms beside its O ('Hw' and 'Dw'), and the TIP4P pair "
            "style takes one hydrogen type":
                molecule("hod", pseudoAtoms=[["Ow", o], ["Hw", h], ["Dw", h2]]),
            "has a Lennard-Jones well on its H ('Hlj', epsilon 5 K), and the TIP4P pair style "
            "refuses one on the water's H":
                molecule("hlj", pseudoAtoms=[["Ow", o], ["Hlj", h], ["Hlj", h2]]),
            "lists its O ('Ow') as atom 2 of 3: LAMMPS looks for a water's H atoms at the two "
            "atom IDs after its O's (list O first in the molecule file)":
                molecule("hoh", pseudoAtoms=[["Hw", h], ["Ow", o], ["Hw", h2]],
                         Connectivity=[[1, 0], [1, 2]]),
        }
        return waters, force_field

    def from_coords(self, species, force_field, **options):
        return pack.from_coords(species, [8], lattice_coordinates([(species, 8)]), 24.0,
                                force_field=force_field, out_dir=self.out, input_script=False,
                                **options)

    @needs_lammps
    def test_auto_chooses_the_four_site_preset_only_for_a_water_lammps_runs(self):
        waters, force_field = self.waters()
        for reason, species in waters.items():
            with self.subTest(pathlib.Path(species).stem):
                report = self.from_coords(species, force_field)
                self.assertEqual(report.pair_style, "LjCutCoulLong")
                self.assertIn(f"molecule '{pathlib.Path(species).stem}' declares an M site "
                              f"(MSite), but it {reason}: the M site is left out",
                              report.warnings)
                run_lammps(self.out)
        with self.subTest("a water it runs"):
            self.assertEqual(self.from_coords(WATER, FORCE_FIELD).pair_style, "Tip4p")
            run_lammps(self.out)

    def test_the_four_site_preset_asked_for_without_a_water_lammps_runs(self):
        waters, force_field = self.waters()
        cases = {pathlib.Path(s).stem: (s, "pair style Tip4p needs a water that "
                                           "lj/cut/tip4p/long can run, but molecule "
                                           f"'{pathlib.Path(s).stem}' {reason}")
                 for reason, s in waters.items()}
        cases["methane"] = (example("methane.json"),
                            "pair style Tip4p needs a water (rigid, three atoms, the two of one "
                            "type bonded to the third at a bent angle), and no species is one: "
                            "LAMMPS refuses lj/cut/tip4p/long without it (choose LjCutCoulLong, "
                            "or auto)")
        for name, (species, message) in cases.items():
            with self.subTest(name):
                self.assert_refused(BuildError, message, self.from_coords, species, force_field,
                                    pair_style="tip4p")

    @needs_lammps
    def test_lammps_refuses_or_misreads_the_waters_the_four_site_preset_refuses(self):
        # The specified module writes what it is asked for: the files the package refuses.
        waters, force_field = self.waters()

        def energies(species):
            written = self.tmp / f"written-{pathlib.Path(species).stem}"
            written.mkdir()
            pack_from_coords_py([species], [8], lattice_coordinates([(species, 8)]), 24.0,
                                PyPairSetup.Tip4p, force_field=force_field, out_dir=str(written))
            return run_lammps(written)[0]

        lammps_says = {"hod": "TIP4P hydrogen has incorrect atom type",
                       "hlj": "Water H epsilon must be 0.0"}
        for species in waters.values():
            name = pathlib.Path(species).stem
            if name not in lammps_says:
                continue
            with self.subTest(name):
                with self.assertRaisesRegex(AssertionError, lammps_says[name]):
                    energies(species)
        with self.subTest("hoh"):
            # H, O, H: LAMMPS takes the next molecule's first H for the second, without a word.
            hoh, water = energies(str(self.tmp / "hoh.json")), energies(WATER)
            self.assertNotAlmostEqual(hoh["elong"] + hoh["ecoul"],
                                      water["elong"] + water["ecoul"], delta=1.0)

    def test_m_sites_outside_the_water(self):
        refused = "at or beyond its O-H bond of 0.9572 Å: LAMMPS cannot run such a water " \
                  "(MSite is in Å; TIP4P/2005's is 0.1546)"
        doubtful = "outside what four-site waters have (0.05 to 0.3 Å): is it in other units " \
                   "than Å, or a slip?"
        for m_site, end in [(1.546, refused), (5, refused), (1e300, refused),
                            (0.9572, refused), (0.5, doubtful), (0.01, doubtful)]:
            with self.subTest(m_site=m_site):
                water = edited_json(WATER, self.tmp / "msite.json",
                                    lambda d: d.update(MSite=m_site))
                message = f"molecule 'msite' puts its M site {m_site:g} Å from O (MSite), {end}"
                if end is refused:
                    self.assert_refused(BuildError, message, self.from_coords, water, FORCE_FIELD)
                else:
                    self.assertIn(message, self.from_coords(water, FORCE_FIELD).warnings)


# (g/mol) (Å/fs)² in kcal/mol, and Boltzmann's constant in kcal/mol/K, as LAMMPS's real units.
MVV2E, KB = 48.88821291 ** 2, 0.0019872067


def first_temperature(screen):
    """The temperature of the first thermo line on LAMMPS's screen (thermo_style step temp)."""
    lines = screen.splitlines()
    header = next(n for n, line in enumerate(lines) if line.split()[:2] == ["Step", "Temp"])
    return float(lines[header + 1].split()[1])


class KeptVelocitiesTest(AttackTestCase):
    """Velocities a data file carries into data.lmp start the LAMMPS run: their temperature is
    told, far from the run's warned about, and speeds no atom has are refused."""

    def data_file(self, scale):
        """27 methanes on a lattice, with velocities at 298 K (a fixed draw) times `scale`."""
        sigma = math.sqrt(KB * 298.15 / (16.043 * MVV2E))
        draw = [[sigma * math.sin(7.3 * n + 1.1 * k) * math.sqrt(2) for k in range(3)]
                for n in range(27)]
        atoms = [f"{n + 1} {n + 1} 1 0.0 {6.0 * (n % 3) + 1} {6.0 * (n // 3 % 3) + 1} "
                 f"{6.0 * (n // 9) + 1}" for n in range(27)]
        velocities = "".join(f"{n + 1} {v[0] * scale!r} {v[1] * scale!r} {v[2] * scale!r}\n"
                             for n, v in enumerate(draw))
        return write_data_file(self.tmp / "start.data", atoms, 0, 18,
                               f"\nVelocities\n\n{velocities}")

    def build(self, scale):
        return pack.from_coords(example("methane.json"), [27], self.data_file(scale),
                                force_field=FORCE_FIELD, out_dir=self.out)

    def assert_told(self, report, screen, level=None):
        """One diagnostic of the kept velocities (at `level`, if given) tells LAMMPS's
        temperature."""
        told = [d for d in report.diagnostics if d.kind == "kept-velocities"]
        self.assertEqual(len(told), 1, told)
        if level is not None:
            self.assertEqual(told[0].level, level)
        kelvin = float(re.search(r"make about (\d+) K", told[0].text).group(1))
        lammps = first_temperature(screen)
        self.assertAlmostEqual(kelvin, lammps, delta=max(1, 0.005 * lammps))

    @needs_lammps
    def test_the_temperature_of_kept_velocities_is_lammps_s(self):
        for scale, level in [(1, "note"), (0.1, "warning"), (100, "warning")]:
            with self.subTest(scale=scale):
                report = self.build(scale)
                script = ("units real\natom_style full\nread_data data.lmp\n"
                          "include forcefield.lmp\nthermo_style custom step temp\nrun 0\n")
                (self.out / "temp.in").write_text(script, encoding="utf-8")
                self.assert_told(report, lmp(["-in", "temp.in", "-log", "none"], self.out).stdout,
                                 level)

    @needs_lammps
    def test_a_rebuilt_rigid_water_starts_at_the_temperature_told(self):
        # SHAKE holds three of a water's nine degrees of freedom: LAMMPS counts six.
        def run(directory, **variables):
            return lmp([*run_variables(**variables), "-in", "in.lmp", "-log", "none"],
                       directory).stdout

        first, second = self.tmp / "first", self.tmp / "second"
        pack.packmol("tip4p2005", [64], density=997.0, out_dir=first)
        run(first, start_steps=300, handover_steps=100, steps=100)
        report = pack.from_coords("tip4p2005", [64], first / "final.data", out_dir=second)
        self.assert_told(report, run(second, steps=0))

    def test_speeds_no_atom_has_are_refused(self):
        cases = [("metal units (Å/ps)", 1000), ("absurd", 1e300 / 0.005)]
        for name, scale in cases:
            with self.subTest(name):
                self.assert_refused(BuildError, re.compile(
                                 r"^the velocity of atom \d+ has a component of \S+ Å/fs, faster "
                                 r"than any atom of a molecular system \(at most 1 Å/fs, 100 "
                                 r"km/s\): velocities are in Å/fs \(LAMMPS real units\); is the "
                                 r"file from a run in other units \(metal: Å/ps, a thousand "
                                 r"times larger\)\?$"), self.build, scale)


class MessagesTest(AttackTestCase):
    """What a build says when the input is not what the user meant."""

    def test_words_for_mistaken_species_and_mixtures(self):
        methane, ethane = example("methane.json"), example("ethane.json")
        missing = str(self.tmp / "missing.json")
        packing = dict(density=300.0, out_dir=self.out)
        cases = [
            # No force_field.json here either: the species is what is missing first.
            ("a missing species file", dict(species=missing, counts=[3]),
             f"reading {missing}: No such file or directory (os error 2)"),
            ("a model name in capitals", dict(species="ETHANOL", counts=[3]),
             "species 'ETHANOL' is neither a file nor a bundled model; did you mean 'ethanol'? "
             "('boxwright models' lists the models)"),
            ("a misspelt model name", dict(species="etanol", counts=[3]),
             "species 'etanol' is neither a file nor a bundled model; did you mean 'ethanol'? "
             "('boxwright models' lists the models)"),
            ("terminal controls in a name", dict(species=["x\x1b[2J"], counts=[3]),
             "species 'x\\x1b[2J' is neither a file nor a bundled model ('boxwright models' "
             "lists the models)"),
            ("the start of model names", dict(species="tip4p", counts=[3]),
             "species 'tip4p' is neither a file nor a bundled model; did you mean 'tip4p-ew' or "
             "'tip4p2005'? ('boxwright models' lists the models)"),
            ("mole fractions whose sum overflows",
             dict(species=[methane, ethane], mole_fractions=[1e308, 1e308], molecules=4,
                  force_field=FORCE_FIELD),
             "mole fractions must sum to 1 (within 0.01), but their sum is too large to "
             "represent (above 1.79769e+308)"),
        ]
        for name, request, message in cases:
            with self.subTest(name), contextlib.chdir(self.tmp):
                self.assert_refused(BuildError, message, pack.packmol, **packing, **request)
        with self.subTest("a mole fraction of -0"):
            report = pack.packmol([methane, ethane], mole_fractions=[-0.0, 1.0], molecules=4,
                                  force_field=FORCE_FIELD, input_script=False, **packing)
            self.assertIn("mole fractions 0, 1 of 4 molecules give counts 0, 4 (4 × x = 0.00, "
                          "4.00, rounded to whole molecules that sum to 4)", report.notes)

    def test_a_file_that_hides_a_bundled_model_is_named(self):
        note = (f"species 'methanol' is the file '{self.tmp / 'methanol'}', not the bundled model "
                "of that name (rename the file, or move out of its folder, to use the model)")
        shutil.copy(example("methane.json"), self.tmp / "methanol")
        for name, force_field, stream in [("built", FORCE_FIELD, "stdout"),
                                          ("failed", "missing.json", "stderr")]:
            with self.subTest(name):
                run = boxwright("pack", "--species", "methanol", "--counts", "3", "--density",
                                "300", "--force-field", force_field, "--out-dir", self.out,
                                "--no-input", cwd=self.tmp)
                self.assertIn(note + "\n", getattr(run, stream))

    def test_a_file_size_limit_that_ended_packmol_is_named(self):
        code = ("from boxwright import pack\n"
                "pack.packmol(sys.argv[1], [500], density=300, force_field=sys.argv[2], "
                "out_dir=sys.argv[3])\n")
        run = subprocess.run(
            [sys.executable, "-c", "import sys\n" + code, example("methane.json"), FORCE_FIELD,
             str(self.out)], capture_output=True, text=True, timeout=300,
            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (8192, 8192)))
        self.assertRegex(run.stderr, r"BuildError: packmol output has \d+ atoms, expected 500\n"
                         r"packmol was ended by signal 25 \(File size limit exceeded\): its "
                         r"output reached the limit on the size of a file this process may "
                         r"write, 8192 bytes \(ulimit -f\); raise the limit or build a smaller "
                         r"system\n$")
        self.assert_nothing_written()


# A build through the package's engine in a fresh interpreter whose SIGALRM handler starts a
# second build into the same folder while the first is packing: the second's outcome is printed.
REENTRY = """
import json, signal, sys
from boxwright import BuildError
from boxwright._engine import build_packmol
species, force_field, out_dir = json.loads(sys.argv[1])
seen = []
def second_build(signum, frame):
    try:
        build_packmol(species, [2], 300.0, force_field=force_field, out_dir=out_dir)
        seen.append("written")
    except BuildError as error:
        seen.append(str(error))
    raise KeyboardInterrupt
signal.signal(signal.SIGALRM, second_build)
signal.setitimer(signal.ITIMER_REAL, 0.3)
try:
    build_packmol(species, [2], 300.0, force_field=force_field, out_dir=out_dir)
except KeyboardInterrupt:
    pass
print(json.dumps(seen))
"""


class OutputSetAttacksTest(AttackTestCase):
    """The output folder as one set: no file of an earlier build left beside the new ones, no
    file of the set replaced unless all are, nothing a killed build left kept, no path that
    reaches the terminal raw, and positions that keep their molecules."""

    def test_a_build_without_in_lmp_takes_the_earlier_one_away(self):
        coords = lattice_coordinates([(WATER, 2)])
        rows = [  # the entry, whether it removes an earlier in.lmp (the specified set has none)
            ("package", build_from_coords, True),
            ("specified module", pack_from_coords_py, False),
        ]
        for name, entry, removes in rows:
            with self.subTest(name):
                (self.out / "in.lmp").write_text("run 1000000\n")
                arguments = dict(force_field=FORCE_FIELD, out_dir=str(self.out))
                if entry is build_from_coords:
                    arguments["input_script"] = False
                result = entry([WATER], [2], coords, 20.0, **arguments)
                self.assertEqual((self.out / "in.lmp").exists(), not removes)
                if removes:
                    self.assertIn({"kind": "output-directory", "level": "note",
                                   "text": f"removed {self.out}/in.lmp, left by an earlier build: "
                                   "this build writes no in.lmp, and that one would run the new "
                                   "data.lmp with its own settings"}, result["diagnostics"])

    @unittest.skipUnless(shutil.which("packmol"), "needs packmol")
    def test_pack_then_pack_without_input_leaves_no_stale_in_lmp(self):
        self.boxwright_ok("pack", "--species", "tip3p", "--counts", "20", "--density", "997",
                          "--accept-imperfect", "--out-dir", self.out)
        second = self.boxwright_ok("pack", "--species", "spce", "methanol", "--counts", "18", "2",
                                   "--density", "950", "--accept-imperfect", "--no-input",
                                   "--out-dir", self.out)
        self.assertEqual(sorted(p.name for p in self.out.iterdir()),
                         ["data.lmp", "forcefield.lmp"])
        self.assertIn(f"removed {self.out}/in.lmp, left by an earlier build: this build writes "
                      "no in.lmp", second.stdout)

    def unwrapped_data_file(self, molecule, flags, box=20.0):
        """A data file of one copy of `molecule` at the box's centre, every atom with `flags`."""
        atoms = json.loads(pathlib.Path(molecule).read_text(encoding="utf-8"))["pseudoAtoms"]
        lines = [f"{n} 1 1 0.0 {x + box / 2} {y + box / 2} {z + box / 2} {flags}"
                 for n, (_, (x, y, z)) in enumerate(atoms, 1)]
        return write_data_file(self.tmp / "unwrapped.data", lines, 0, box), atoms

    def assert_molecule_kept(self, reference, written, box):
        for (a, b) in ((0, 1), (0, 2)):
            expected = math.dist(reference[a][1], reference[b][1])
            self.assertAlmostEqual(math.dist(written[a], written[b]), expected, places=5)
        for position in written:
            self.assertTrue(all(-3 < x < box + 3 for x in position), position)

    @unittest.skipUnless(shutil.which("lmp"), "needs LAMMPS")
    def test_molecules_unwrapped_far_away_keep_their_bonds(self):
        rows = [  # the molecule, the image flags of every atom
            ("water at flag 10^6", WATER, "1000000 0 0"),
            ("water at flag -10^6 on every axis", WATER, "-1000000 -1000000 -1000000"),
            ("CO2 at flag 10^5", example("co2.json"), "0 100000 0"),
            ("CO2 at the largest flags", example("co2.json"), "1048575 -1048576 1048575"),
        ]
        for name, molecule, flags in rows:
            with self.subTest(name):
                path, reference = self.unwrapped_data_file(molecule, flags)
                build_from_coords([molecule], [1], path, None, force_field=FORCE_FIELD,
                                  out_dir=str(self.out), pair_style="lj-cut")
                self.assert_molecule_kept(reference, atoms_of(self.out / "data.lmp"), 20.0)
                # Its own output is taken back, bonds checked, and LAMMPS runs it.
                rebuilt = self.tmp / "rebuilt"
                build_from_coords([molecule], [1], str(self.out / "data.lmp"), None,
                                  force_field=FORCE_FIELD, out_dir=str(rebuilt),
                                  pair_style="lj-cut")
                run_lammps(self.out)

    def test_bonds_are_checked_as_data_lmp_writes_them(self):
        # Inside a box of 2·10^7 Å nothing moves, and seven digits cannot hold an O–H bond.
        coords = [[1.5e7 + x, 1.5e7 + y, 1.5e7 + z]
                  for _, (x, y, z) in json.loads(pathlib.Path(WATER).read_text())["pseudoAtoms"]]
        self.assert_refused(BuildError, re.compile(
            r"^coordinates do not fit molecule 1 of 'water': atoms 1 \(Ow\) and 2 \(Hw\) are "),
            build_from_coords, [WATER], [1], coords, 2e7, force_field=FORCE_FIELD,
            out_dir=str(self.out))

    def models_write(self, folder, **options):
        return boxwright("models", "ethanol", "--write", folder, cwd=self.tmp, **options)

    def test_models_write_creates_both_files_or_neither(self):
        bundled = {name: (pathlib.Path(boxwright_models.MODELS_DIR) / name).read_bytes()
                   for name in ("ethanol.json", "ethanol.force_field.json")}
        rows = [  # a link already in the folder, by name
            ("a dangling link as the molecule file", "ethanol.json"),
            ("a dangling link as the force-field file", "ethanol.force_field.json"),
        ]
        for name, linked in rows:
            with self.subTest(name):
                folder = self.tmp / name.replace(" ", "-")
                folder.mkdir()
                (folder / linked).symlink_to(self.tmp / f"outside-{linked}")
                written = self.models_write(folder)
                self.assertEqual((written.returncode, written.stderr),
                                 (1, f"boxwright: {folder}/{linked} exists; boxwright does not "
                                     "overwrite it\n"))
                self.assertEqual([p.name for p in folder.iterdir()], [linked])
                self.assertFalse((self.tmp / f"outside-{linked}").exists())
        with self.subTest("a disk that fills up, then the retry"):
            folder = self.tmp / "full"
            full = subprocess.run(
                [sys.executable, "-c",
                 "import resource, signal, sys; signal.signal(signal.SIGXFSZ, signal.SIG_IGN); "
                 "resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100)); "
                 "from boxwright.cli import main; sys.exit(main(sys.argv[1:]))",
                 "models", "ethanol", "--write", str(folder)], capture_output=True, text=True)
            self.assertEqual((full.returncode, full.stderr),
                             (1, f"boxwright: writing {folder}/ethanol.json: File too large "
                                 "(os error 27)\n"))
            self.assertEqual(list(folder.iterdir()), [])
            self.assertEqual(self.models_write(folder).returncode, 0)
            self.assertEqual({p.name: p.read_bytes() for p in folder.iterdir()}, bundled)
        with self.subTest("eight writers at once"):
            folder = self.tmp / "raced"
            writers = [subprocess.Popen([sys.executable, "-m", "boxwright", "models", "ethanol",
                                         "--write", str(folder)], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True) for _ in range(8)]
            statuses = sorted(writer.wait(timeout=60) for writer in writers)
            for writer in writers:
                writer.stdout.close()
                writer.stderr.close()
            self.assertEqual(statuses, [0] + [1] * 7)
            self.assertEqual({p.name: p.read_bytes() for p in folder.iterdir()}, bundled)

    def test_a_build_from_a_signal_handler_into_the_same_folder_is_refused(self):
        path = stand_in_packmol(self.tmp, "sleep 5\nexit 1\n")
        request = json.dumps([[WATER], FORCE_FIELD, str(self.out)])
        run = subprocess.run([sys.executable, "-c", REENTRY, request], capture_output=True,
                             text=True, timeout=60, env={**os.environ, "PATH": path,
                                                         "TMPDIR": str(self.tmpdir)})
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(json.loads(run.stdout), [
            f"locking {self.out}: a build of this process is writing into it already and waits "
            "for this one to end (a build started from a signal handler or a callback?); give "
            "this build another directory"])
        self.assert_nothing_written()

    def test_paths_with_control_characters_are_shown_escaped(self):
        rows = [  # the argument, its path, the path as the package shows it, the message
            ("force_field", f"{self.tmp}/ff\x1b[2J.json", f'"{self.tmp}/ff\\u{{1b}}[2J.json"',
             "reading {}: No such file or directory (os error 2)"),
            ("species", f"{self.tmp}/a\nwarning: forged.json",
             f'"{self.tmp}/a\\nwarning: forged.json"',
             "reading {}: No such file or directory (os error 2)"),
            ("out_dir", f"{self.out}/data.lmp/x\u009b", f'"{self.out}/data.lmp/x\\u{{9b}}"',
             "creating {}: Not a directory (os error 20)"),
        ]
        coords = lattice_coordinates([(WATER, 1)])
        for given, path, escaped, message in rows:
            request = dict(species=[WATER], force_field=FORCE_FIELD, out_dir=str(self.out))
            request[given] = [path] if given == "species" else path
            species = request.pop("species")
            # The specified module prints paths as given.
            for entry, shown, error in ((build_from_coords, escaped, BuildError),
                                        (pack_from_coords_py, path, RuntimeError)):
                with self.subTest(given, entry=entry.__name__):
                    self.assert_refused(error, message.format(shown), entry, species, [1], coords,
                                        20.0, **request)
        with self.subTest("the command line prints one line, with no control character"):
            run = boxwright("from-coords", "--species", self.tmp / "a\x1b\nwarning: forged.json",
                            "--counts", "1", "--coords", self.tmp / "x.xyz",
                            "--box-length", "20", "--force-field", FORCE_FIELD,
                            "--out-dir", self.out)
            self.assertEqual(run.returncode, 1)
            self.assertEqual(len(run.stderr.splitlines()), 1, run.stderr)
            self.assertNotIn("\x1b", run.stderr)


def wchan(pid):
    """Where in the kernel the process waits ("pipe_write", or "anon_pipe_write" on newer kernels,
    while its output pipe is full)."""
    try:
        return pathlib.Path(f"/proc/{pid}/wchan").read_text()
    except OSError:
        return ""


class CommandLineOutputTest(AttackTestCase):
    """Signals and a standard output that fails, at moments outside the build: each ends the
    command with one line on standard error and the conventional status, never a traceback."""

    def setUp(self):
        super().setUp()
        (self.tmp / "one.xyz").write_text("1\none methane\nCH4 5 5 5\n")
        self.command = [sys.executable, "-m", "boxwright", "from-coords", "--species",
                        example("methane.json"), "--counts", "1", "--coords", self.tmp / "one.xyz",
                        "--box-length", "20", "--force-field", FORCE_FIELD, "--out-dir", self.out]

    def finish(self, command, stdout, **popen):
        done = subprocess.run(command, stdout=stdout, stderr=subprocess.PIPE, text=True,
                              timeout=120, **popen)
        return done.returncode, done.stderr

    def test_a_standard_output_that_fails(self):
        def closed():
            return self.finish(["sh", "-c", '"$@" >&-', "sh", *self.command], None)

        def full_disk():
            with open("/dev/full", "w") as full:
                return self.finish(self.command, full)

        def reader_gone():
            read_end, write_end = os.pipe()
            os.close(read_end)
            try:
                return self.finish(self.command, write_end)
            finally:
                os.close(write_end)

        cases = [
            ("closed", closed, 1, "writing to standard output: Bad file descriptor"),
            ("on a full disk", full_disk, 1,
             "writing to standard output: No space left on device"),
            ("its reader gone", reader_gone, 141, "standard output closed by its reader"),
        ]
        for name, run, status, line in cases:
            with self.subTest(name):
                self.assertEqual(run(), (status, f"boxwright: {line}\n"))

    def test_signals_while_the_report_waits_for_a_slow_reader(self):
        for signum, status, line in ((signal.SIGINT, 130, "interrupted"),
                                     (signal.SIGTERM, 143, "terminated")):
            with self.subTest(signal.Signals(signum).name):
                read_end, write_end = os.pipe()
                self.addCleanup(os.close, read_end)
                # A pipe already full: the report's first write waits for the reader.
                fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
                os.write(write_end, b"x" * 4096)
                build = subprocess.Popen(self.command, stdout=write_end, stderr=subprocess.PIPE,
                                         text=True)
                os.close(write_end)
                self.addCleanup(build.kill)
                self.assertTrue(wait_until(lambda: wchan(build.pid).endswith("pipe_write")),
                                "the report never waited")
                build.send_signal(signum)
                _, stderr = build.communicate(timeout=20)
                self.assertEqual((build.returncode, stderr), (status, f"boxwright: {line}\n"))

    def test_ctrl_c_while_python_imports_the_command_line(self):
        # An argparse that waits stands in for a slow import of the command line's modules.
        slow = self.tmp / "slow"
        slow.mkdir()
        (slow / "argparse.py").write_text("import sys, time\nprint('importing', file=sys.stderr,"
                                          " flush=True)\ntime.sleep(60)\n")
        env = {**os.environ, "PYTHONPATH": f"{slow}:{os.environ['PYTHONPATH']}"}
        build = subprocess.Popen(self.command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 text=True, env=env)
        self.addCleanup(build.kill)
        self.assertEqual(build.stderr.readline(), "importing\n")
        build.send_signal(signal.SIGINT)
        stdout, stderr = build.communicate(timeout=20)
        self.assertEqual((build.returncode, stdout, stderr), (130, "", "boxwright: interrupted\n"))
