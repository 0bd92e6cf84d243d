"""Faults and hostile input, each tried against the built module with the outcome it must have:
the exception and its message, the files of an earlier build untouched after a failure, no
temporary directory and no child process left behind, bounded memory. Stand-in `packmol` scripts
on PATH play the faults the real program cannot; an interrupt is tried on the real one too."""

import array
import json
import math
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import time

from boxwright import BuildError
from boxwright._engine import build_from_coords, build_packmol
from boxwright._native import pack_from_coords_py
from support import (FORCE_FIELD, TempDirTestCase, children_of, example, process_runs,
                     stand_in_packmol, wait_until)

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
        force_field = json.loads(pathlib.Path(FORCE_FIELD).read_text(encoding="utf-8"))
        force_field["PseudoAtoms"].append({"name": "€€", "mass": 15.035, "charge": 0.0})
        (self.tmp / "ff.json").write_text(json.dumps(force_field), encoding="utf-8")
        (self.tmp / "123.json").write_text(json.dumps(
            {"Type": "rigid", "pseudoAtoms": [["€€", [0, 0, 0]], ["€€", [1.5, 0, 0]]],
             "Connectivity": [[0, 1]]}), encoding="utf-8")
        shutil.copy(WATER, self.tmp / "my wäter.json")
        tmpdir = self.tmp / "a b"
        tmpdir.mkdir()
        outcome = self.outcome(self.start(None, species=[self.tmp / "my wäter.json",
                                                         self.tmp / "123.json"],
                                          counts=[3, 3], force_field=self.tmp / "ff.json",
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
        """A copy of the JSON file `source` as `name` in the test's directory, changed by `edit`."""
        document = json.loads(pathlib.Path(source).read_text(encoding="utf-8"))
        edit(document)
        path = self.tmp / name
        path.write_text(json.dumps(document), encoding="utf-8")
        return str(path)

    def build(self, species=(WATER,), counts=(1,), coords=((0, 0, 0),) * 3, box_len=20.0,
              force_field=FORCE_FIELD, entry=pack_from_coords_py):
        return entry([str(s) for s in species], list(counts), coords, box_len,
                     force_field=str(force_field), out_dir=str(self.out))

    def assert_refused(self, error, message, **request):
        with self.assertRaises(Exception) as raised:
            self.build(**request)
        self.assertIs(type(raised.exception), error)
        self.assertEqual(str(raised.exception), message)
        self.assert_nothing_written()

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
                self.assert_refused(RuntimeError, message, **request)

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
                    self.assert_refused(ValueError, message, entry=entry, **request)

    def test_coordinate_files_that_would_crash_flood_or_mislead(self):
        def data_file(low, high, flags):
            axes = "".join(f"{low} {high} {a}lo {a}hi\n" for a in "xyz")
            return (f"LAMMPS data file\n\n1 atoms\n1 atom types\n\n{axes}\nAtoms # full\n\n"
                    f"1 1 1 0.0 1.0 2.0 3.0 {flags}\n")

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
                self.assert_refused(BuildError, f"{path}:{line}: {message}",
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
                with self.assertRaises(BuildError) as raised:
                    entry(**arguments)
                self.assertEqual(str(raised.exception), message)
                self.assert_nothing_written()
