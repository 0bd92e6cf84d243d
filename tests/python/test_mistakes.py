"""The mistakes users really make, each run through the command line and through boxwright.pack:
the warning or failure it must produce names the thing and the likely fix."""

import json
import shutil
import subprocess
import sys
import warnings
from dataclasses import dataclass, field
from typing import Callable

from boxwright import BuildError, pack
from support import EXAMPLES, TempDirTestCase


def edit_json(name, change):
    """An edit of the copied example `name`.json: `change` gets its JSON and alters it."""
    def edit(directory):
        path = directory / f"{name}.json"
        data = json.loads(path.read_text(encoding="utf-8"))
        change(data)
        path.write_text(json.dumps(data), encoding="utf-8")
    return edit


def edit_text(name, old, new):
    """An edit of the copied example `name`.json as text: its first `old` becomes `new`."""
    def edit(directory):
        path = directory / f"{name}.json"
        path.write_text(path.read_text(encoding="utf-8").replace(old, new, 1), encoding="utf-8")
    return edit


def self_interaction(data, name):
    return next(entry for entry in data["SelfInteractions"] if entry["name"] == name)


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
    Mistake("a comma after the last entry of the force field", fails=True,
            expect="force_field.json: trailing comma at line ",
            edit=edit_text("force_field", '"BinaryInteractions": []\n',
                           '"BinaryInteractions": [],\n')),
]


def cli_arguments(mistake, directory):
    arguments = ["pack", "--species", *(directory / f"{s}.json" for s in mistake.species),
                 "--counts", *mistake.counts, "--force-field", directory / "force_field.json",
                 "--out-dir", directory / "out"]
    for key, value in mistake.options.items():
        option = "--" + key.replace("_", "-")
        arguments += [option] if value is True else [option, value]
    return [str(a) for a in arguments]


class MistakeTest(TempDirTestCase):
    def copy_examples(self, mistake):
        for path in EXAMPLES.glob("*.json"):
            shutil.copy(path, self.tmp)
        mistake.edit(self.tmp)

    def test_each_mistake_is_named_through_the_package(self):
        for mistake in MISTAKES:
            with self.subTest(mistake.name):
                self.copy_examples(mistake)
                arguments = ([str(self.tmp / f"{s}.json") for s in mistake.species],
                             list(mistake.counts))
                keywords = dict(mistake.options, force_field=self.tmp / "force_field.json",
                                out_dir=self.tmp / "out")
                density = keywords.pop("density")
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore")
                    if mistake.fails:
                        with self.assertRaises(BuildError) as raised:
                            pack.packmol(*arguments, density, **keywords)
                        self.assertIn(mistake.expect, str(raised.exception))
                        self.assertFalse((self.tmp / "out" / "data.lmp").exists())
                    else:
                        report = pack.packmol(*arguments, density, **keywords)
                        self.assertIn(mistake.expect, "\n".join(report.warnings))

    def test_each_mistake_is_named_on_the_command_line(self):
        for mistake in MISTAKES:
            with self.subTest(mistake.name):
                self.copy_examples(mistake)
                result = subprocess.run(
                    [sys.executable, "-m", "boxwright", *cli_arguments(mistake, self.tmp)],
                    capture_output=True, text=True, timeout=300)
                self.assertEqual(result.returncode, 1 if mistake.fails else 0, result.stderr)
                prefix = "boxwright: " if mistake.fails else "warning: "
                self.assertIn(prefix, result.stderr)
                self.assertIn(mistake.expect, result.stderr)
