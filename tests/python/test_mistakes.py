"""The mistakes users really make, each run through the command line and through boxwright.pack:
the warning or failure it must produce names the thing and the likely fix."""

import json
import pathlib
import shutil
import subprocess
import sys
import tempfile
import warnings
from dataclasses import dataclass, field
from typing import Callable

from boxwright import pack
from support import EXAMPLES, TempDirTestCase


def edit_json(name, change):
    """An edit of the copied example `name`.json: `change` gets its JSON and alters it."""
    def edit(directory):
        path = directory / f"{name}.json"
        data = json.loads(path.read_text(encoding="utf-8"))
        change(data)
        path.write_text(json.dumps(data), encoding="utf-8")
    return edit


def self_interaction(data, name):
    return next(entry for entry in data["SelfInteractions"] if entry["name"] == name)


def rename_key(old, new):
    def change(data):
        data[new] = data.pop(old)
    return change


def rename_pseudo_atom(index, name):
    def change(data):
        data["pseudoAtoms"][index][0] = name
    return change


@dataclass
class Mistake:
    name: str
    expect: str  # what the warning, or the failure, says
    fails: bool = False
    edit: Callable = lambda directory: None  # alters the copied examples
    species: tuple = ("butane",)
    counts: tuple = (20,)
    options: dict = field(default_factory=lambda: {"density": 600.0})  # pack's keywords


MISTAKES = [
    Mistake("misspelt optional key of the force field",
            "unknown key 'CutoffVDW' in {force_field} (top level, line 1) is ignored; did you "
            "mean 'CutOffVDW'?",
            edit=edit_json("force_field", rename_key("CutOffVDW", "CutoffVDW"))),
    Mistake("misspelt list of cross interactions",
            "did you mean 'BinaryInteractions'?",
            edit=edit_json("force_field", rename_key("BinaryInteractions", "BinaryInteraction"))),
    Mistake("pseudo-atom name in the wrong letter case",
            "molecule 'butane' uses pseudo-atom type 'Ch2' not present in the force field; did "
            "you mean 'CH2'?", fails=True, edit=edit_json("butane", rename_pseudo_atom(1, "Ch2"))),
]


def cli_arguments(mistake, directory):
    arguments = ["pack", "--species", *(directory / f"{s}.json" for s in mistake.species),
                 "--counts", *mistake.counts, "--force-field", directory / "force_field.json",
                 "--out-dir", directory / "out"]
    for key, value in mistake.options.items():
        option = "--" + key.replace("_", "-")
        arguments += [option] if value is True else [option, value]
    return [str(a) for a in arguments]


def expected_text(mistake, directory):
    """What the mistake's message says in this directory."""
    return mistake.expect.replace("{force_field}", str(directory / "force_field.json"))


def build(mistake, directory):
    """The mistake's build through boxwright.pack."""
    species = [str(directory / f"{s}.json") for s in mistake.species]
    keywords = dict(mistake.options, force_field=directory / "force_field.json",
                    out_dir=directory / "out")
    density = keywords.pop("density")
    return pack.packmol(species, list(mistake.counts), density, **keywords)


class MistakeTest(TempDirTestCase):
    def copy_examples(self, mistake):
        """A directory of its own for the mistake, with the examples as it alters them."""
        directory = pathlib.Path(tempfile.mkdtemp(dir=self.tmp))
        for path in EXAMPLES.glob("*.json"):
            shutil.copy(path, directory)
        mistake.edit(directory)
        return directory

    def test_each_mistake_is_named_through_the_package(self):
        for mistake in MISTAKES:
            with self.subTest(mistake.name):
                directory = self.copy_examples(mistake)
                expect = expected_text(mistake, directory)
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore")
                    if mistake.fails:
                        with self.assertRaises(RuntimeError) as raised:
                            build(mistake, directory)
                        self.assertIn(expect, str(raised.exception))
                        self.assertFalse((directory / "out" / "data.lmp").exists())
                    else:
                        report = build(mistake, directory)
                        self.assertIn(expect, "\n".join(report.warnings))

    def test_each_mistake_is_named_on_the_command_line(self):
        for mistake in MISTAKES:
            with self.subTest(mistake.name):
                directory = self.copy_examples(mistake)
                result = subprocess.run(
                    [sys.executable, "-m", "boxwright", *cli_arguments(mistake, directory)],
                    capture_output=True, text=True, timeout=300)
                self.assertEqual(result.returncode, 1 if mistake.fails else 0, result.stderr)
                prefix = "boxwright: " if mistake.fails else "warning: "
                self.assertIn(prefix, result.stderr)
                self.assertIn(expected_text(mistake, directory), result.stderr)
