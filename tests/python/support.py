"""Shared helpers of the boxwright Python suites: paths, fixture files, golden files, memory."""

import contextlib
import difflib
import json
import os
import pathlib
import re
import tempfile
import unittest

SOURCE_DIR = pathlib.Path(os.environ["BOXWRIGHT_SOURCE_DIR"])
EXAMPLES_DIR = SOURCE_DIR / "examples"
GOLDEN_DIR = SOURCE_DIR / "tests" / "data" / "golden" / "python"

# A small force field: two pseudo atoms with Lennard-Jones parameters and charges.
FORCE_FIELD = {
    "MixingRule": "Lorentz-Berthelot",
    "PseudoAtoms": [
        {"name": "A", "mass": 10.0, "charge": 0.5},
        {"name": "B", "mass": 20.0, "charge": -1.0},
        {"name": "Ar", "mass": 39.948, "charge": 0.0},
    ],
    "SelfInteractions": [
        {"name": "A", "parameters": [50.0, 3.0]},
        {"name": "B", "parameters": [80.0, 3.5]},
        {"name": "Ar", "parameters": [119.8, 3.405]},
    ],
}

# A rigid A-B-A molecule with three atoms, two bonds and one angle, and a single argon atom.
TRIATOMIC = {
    "Type": "rigid",
    "pseudoAtoms": [["A", [-0.8, 0.6, 0.0]], ["B", [0.0, 0.0, 0.0]], ["A", [0.8, 0.6, 0.0]]],
    "Connectivity": [[0, 1], [1, 2]],
}
ARGON = {"pseudoAtoms": [["Ar", [0.0, 0.0, 0.0]]]}


def write_json(path, content):
    path = pathlib.Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(json.dumps(content), encoding="utf-8")
    return str(path)


class TempDirTestCase(unittest.TestCase):
    """Gives every test a fresh directory, `self.tmp`, removed afterwards."""

    def setUp(self):
        directory = tempfile.TemporaryDirectory(prefix="boxwright-test-")
        self.addCleanup(directory.cleanup)
        self.tmp = pathlib.Path(directory.name)

    def fixture(self):
        """Writes the small force field and molecules; returns their paths by name."""
        return {
            "force_field": write_json(self.tmp / "ff" / "force_field.json", FORCE_FIELD),
            "tri": write_json(self.tmp / "mol" / "tri.json", TRIATOMIC),
            "tri2": write_json(self.tmp / "mol" / "tri2.json", TRIATOMIC),
            "argon": write_json(self.tmp / "mol" / "argon.json", ARGON),
        }

    def assert_matches_golden(self, name, text):
        """Compares `text` with tests/data/golden/python/<name>; UPDATE_GOLDEN=1 rewrites it."""
        path = GOLDEN_DIR / name
        if os.environ.get("UPDATE_GOLDEN") == "1":
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
            return
        expected = path.read_text(encoding="utf-8")
        if text != expected:
            diff = difflib.unified_diff(expected.splitlines(True), text.splitlines(True),
                                        str(path), "actual")
            self.fail(f"{name} differs from its golden file:\n{''.join(diff)}")


@contextlib.contextmanager
def working_directory(path):
    previous = os.getcwd()
    os.chdir(path)
    try:
        yield
    finally:
        os.chdir(previous)


def lattice_coordinates(molecules, spacing=6.0):
    """Copies of the given molecule files (path, count) on a cubic lattice, in build order."""
    coordinates = []
    site = 0
    for path, count in molecules:
        with open(path, encoding="utf-8") as file:
            reference = [position for _, position in json.load(file)["pseudoAtoms"]]
        for _ in range(count):
            offset = (spacing * (site % 4), spacing * (site // 4 % 4), spacing * (site // 16))
            coordinates += [[round(o + x, 4) for o, x in zip(offset, atom)] for atom in reference]
            site += 1
    return coordinates


# An Atoms line: atom, molecule, type, charge | x, y, z in exponent form | the comment.
_ATOM_LINE = re.compile(r"^(\s*\d+\s+\d+\s+\d+\s+-?\d+\.\d{6})((?:\s+-?\d\.\d{6}e-?\d+){3})(  # .*)$",
                        re.MULTILINE)


def atom_positions(data_text):
    """The x, y, z of every Atoms line of a data.lmp text."""
    return [[float(v) for v in match.group(2).split()] for match in _ATOM_LINE.finditer(data_text)]


def mask_positions(data_text):
    """data.lmp with the coordinates of every Atoms line replaced, for runs that place at random."""
    return _ATOM_LINE.sub(lambda m: m.group(1) + "  <x> <y> <z>" + m.group(3), data_text)


def resident_bytes():
    """The process's resident memory, from /proc/self/statm."""
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
