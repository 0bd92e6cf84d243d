"""Shared helpers of the Python suites: paths, a fresh directory per test, golden files, LAMMPS."""

import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import warnings

from boxwright import BuildWarning

SOURCE_DIR = pathlib.Path(os.environ["BOXWRIGHT_SOURCE_DIR"])
EXAMPLES = SOURCE_DIR / "examples"
FORCE_FIELD = str(EXAMPLES / "force_field.json")
GOLDEN_DIR = SOURCE_DIR / "tests" / "data" / "golden" / "python"
LMP = shutil.which("lmp")
# The sanitizer build preloads its run-time library into this process; LAMMPS is not ours to
# check, and must not inherit it (nor use more than one thread per rank).
SANITIZER_VARIABLES = ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")
LAMMPS_ENV = {**{k: v for k, v in os.environ.items() if k not in SANITIZER_VARIABLES},
              "OMP_NUM_THREADS": "1"}


def run_variables(**variables):
    """LAMMPS's command-line arguments that set in.lmp's index variables: -var NAME VALUE ..."""
    return [f for name, value in variables.items() for f in ("-var", name, str(value))]


def lmp(arguments, directory, ranks=1, timeout=600, env=None, **options):
    """Runs LAMMPS with `arguments` in `directory` on `ranks` MPI processes, with `env` added to
    this process's environment less the sanitizer's preload; returns the finished process (text
    output captured unless told otherwise)."""
    mpi = ["mpirun", "--allow-run-as-root", "--oversubscribe", "-np", str(ranks)] * (ranks > 1)
    options.setdefault("capture_output", True)
    return subprocess.run([*mpi, LMP, *arguments], cwd=directory, text=True, timeout=timeout,
                          env={**LAMMPS_ENV, **(env or {})}, **options)

# The suites check a build's warnings in its report; shown as well, they would bury the test
# output. Tests of the warnings themselves set filters of their own.
warnings.filterwarnings("ignore", category=BuildWarning)
needs_lammps = unittest.skipUnless(LMP, "LAMMPS is not installed: no 'lmp' on PATH")


def _find_raspa3():
    """RASPA3 for the tests, and why there is none: $BOXWRIGHT_RASPA3, raspa3 on PATH, or the
    shared build beside the checkout (../shared/raspa3/raspa3), whose run-time libraries
    (libblas64-3, liblapack64-3, ocl-icd-libopencl1) must be installed."""
    candidates = [os.environ.get("BOXWRIGHT_RASPA3"), shutil.which("raspa3"),
                  SOURCE_DIR.parent / "shared" / "raspa3" / "raspa3"]
    found = next((str(c) for c in candidates if c and os.access(c, os.X_OK)), None)
    if found is None:
        return None, ("RASPA3 is not installed: set BOXWRIGHT_RASPA3, put raspa3 on PATH or "
                      "build it into ../shared/raspa3/raspa3")
    with tempfile.TemporaryDirectory() as empty:  # no input: RASPA3 says so and exits 255
        proc = subprocess.run([found], cwd=empty, capture_output=True, text=True, timeout=60)
    if "error while loading shared libraries" in proc.stderr:
        return None, (f"RASPA3 at {found} cannot start, its run-time libraries are missing "
                      "(apt-get install libblas64-3 liblapack64-3 ocl-icd-libopencl1): "
                      + proc.stderr.strip())
    return found, None


RASPA3, NO_RASPA3 = _find_raspa3()
needs_raspa3 = unittest.skipUnless(RASPA3, NO_RASPA3 or "")


def process_runs(pid):
    """Alive, as opposed to gone or a zombie its new parent has not reaped yet."""
    try:
        stat = pathlib.Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return False
    return stat[stat.rindex(")") + 2] not in "ZX"


def children_of(pid):
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                stat = (entry / "stat").read_text()
            except OSError:
                continue
            if int(stat[stat.rindex(")") + 2:].split()[1]) == pid:
                found.append(int(entry.name))
    return found


def wait_until(condition, seconds=30.0):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


def example(name):
    return str(EXAMPLES / name)


def boxwright(*args, cwd=None, env=None):
    """The command line, run as `python -m boxwright` would be."""
    return subprocess.run([sys.executable, "-m", "boxwright", *map(str, args)], cwd=cwd,
                          capture_output=True, text=True, timeout=300,
                          env=None if env is None else {**os.environ, **env})


def stand_in_packmol(directory, script):
    """PATH with a `packmol` in directory/bin that runs the shell `script` before the system's."""
    bin_dir = pathlib.Path(directory, "bin")
    bin_dir.mkdir(exist_ok=True)
    (bin_dir / "packmol").write_text("#!/bin/sh\n" + script)
    (bin_dir / "packmol").chmod(0o755)
    return f"{bin_dir}:{os.environ['PATH']}"


class TestCase(unittest.TestCase):
    def assert_raises_exactly(self, error, message, call, *args, **kwargs):
        """`call` raises `error` itself, not a subclass, with `message` (a pattern if compiled,
        unchecked if None); returns the exception."""
        with self.assertRaises(Exception) as raised:
            call(*args, **kwargs)
        self.assertIs(type(raised.exception), error, raised.exception)
        if isinstance(message, re.Pattern):
            self.assertRegex(str(raised.exception), message)
        elif message is not None:
            self.assertEqual(str(raised.exception), message)
        return raised.exception

    def boxwright_ok(self, *args, **options):
        """The command line, as boxwright() runs it, which must succeed; returns the process."""
        run = boxwright(*args, **options)
        self.assertEqual(run.returncode, 0, run.stderr)
        return run

    def assert_positions_near(self, ours, theirs, delta, relative=False):
        """As many positions as expected, each coordinate within `delta` (times the value's size
        above 1, if `relative`)."""
        self.assertEqual(len(ours), len(theirs))
        for atom, (a, b) in enumerate(zip(ours, theirs), start=1):
            for x, y in zip(a, b):
                scale = max(abs(y), 1) if relative else 1
                self.assertAlmostEqual(x, y, delta=delta * scale, msg=f"atom {atom}")


class TempDirTestCase(TestCase):
    """Gives every test a fresh directory, `self.tmp`, removed afterwards."""

    maxDiff = None

    def setUp(self):
        self.tmp = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory(prefix="bw-test-")))

    def assert_matches_golden(self, name, text):
        """Compares `text` with tests/data/golden/python/<name> (a failure shows lines only in
        the golden file with -, ours with +); UPDATE_GOLDEN=1 rewrites it."""
        if os.environ.get("UPDATE_GOLDEN") == "1":
            (GOLDEN_DIR / name).write_text(text, encoding="utf-8")
        self.assertEqual((GOLDEN_DIR / name).read_text(encoding="utf-8"), text, name)


def lattice_coordinates(molecules, spacing=6.0):
    """Copies of the given molecule files (path, count) on a cubic lattice, in build order."""
    coordinates, site = [], 0
    for path, count in molecules:
        atoms = json.loads(pathlib.Path(path).read_text(encoding="utf-8"))["pseudoAtoms"]
        reference = [position for _, position in atoms]
        for _ in range(count):
            offset = (spacing * (site % 4), spacing * (site // 4 % 4), spacing * (site // 16))
            coordinates += [[round(o + x, 4) for o, x in zip(offset, atom)] for atom in reference]
            site += 1
    return coordinates


def edited_json(source, target, edit):
    """A copy of the JSON file `source` at `target`, changed by `edit`; the path as a string."""
    document = json.loads(pathlib.Path(source).read_text(encoding="utf-8"))
    edit(document)
    pathlib.Path(target).write_text(json.dumps(document), encoding="utf-8")
    return str(target)


def write_data_file(path, atoms, low=0, high=20, more=""):
    """A LAMMPS data file at `path` of one atom type in the cube low..high: the Atoms lines
    (full style) given, then the further sections in `more`."""
    axes = "".join(f"{low} {high} {a}lo {a}hi\n" for a in "xyz")
    pathlib.Path(path).write_text(
        f"LAMMPS data file\n\n{len(atoms)} atoms\n1 atom types\n\n{axes}\nAtoms # full\n\n"
        + "".join(line + "\n" for line in atoms) + more, encoding="utf-8")
    return str(path)


def section_of(data_lmp, name, columns):
    """The given columns of each line of a section of one of our data files, in order."""
    lines = pathlib.Path(data_lmp).read_text().splitlines()
    if name not in lines:
        return None
    rows = []
    for line in lines[lines.index(name) + 2:]:
        if not line:
            break
        rows.append(tuple(map(float, line.split()[columns])))
    return rows


def atoms_of(data_lmp):
    """(x, y, z) of each Atoms line of one of our data files, in order."""
    return section_of(data_lmp, "Atoms", slice(4, 7))


THERMO = ("pe", "evdwl", "ecoul", "elong", "ebond", "eangle", "edihed")


def run_lammps(directory, pair_style="", forcefield="forcefield.lmp", after=""):
    """Runs `lmp` on the data.lmp and forcefield.lmp in `directory` with the input a user would
    write, ending in `run 0`, which evaluates every energy once; returns the thermo values and
    the screen text. Without a preset, the user's pair style comes before the include; `after`
    comes right after it."""
    script = ["units real", "atom_style full", "read_data data.lmp", pair_style,
              f"include {forcefield}", after, f"thermo_style custom step {' '.join(THERMO)}",
              "thermo_modify format float %20.12g",  # digits enough to compare to 1e-6
              "run 0"]
    pathlib.Path(directory, "energy.in").write_text("\n".join(script) + "\n", encoding="utf-8")
    proc = lmp(["-in", "energy.in", "-log", "none", "-echo", "screen", "-nocite"], directory)
    screen = proc.stdout + proc.stderr
    lines = screen.splitlines()
    headers = [n for n, line in enumerate(lines) if line.split()[:1] == ["Step"]]
    if proc.returncode != 0 or "ERROR" in screen or not headers:
        tail = "\n".join(lines[-25:])
        raise AssertionError(f"lmp failed with status {proc.returncode}:\n{tail}")
    values = lines[headers[-1] + 1].split()[1:]
    assert len(values) == len(THERMO), lines[headers[-1] + 1]
    return dict(zip(THERMO, map(float, values))), screen
