"""The mistakes users really make, each run through boxwright.pack: the warning or failure it must
produce names the thing and the likely fix. The command line passes the same text on, and a
coordinate file that does not fit its molecules is refused there (test_cli)."""

import json
import pathlib
import shutil
import tempfile
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


def rename_key(name, old, new):
    return edit_json(name, lambda data: data.__setitem__(new, data.pop(old)))


def set_field(section, field_name, **values):
    """Sets `field_name` of the force field's `section` entries named by the keywords."""
    def change(data):
        for entry in data[section]:
            if entry["name"] in values:
                entry[field_name] = values[entry["name"]]
    return edit_json("force_field", change)


@dataclass
class Mistake:
    name: str
    expect: str  # what the warning, or the failure, says; a build of 20 butanes
    fails: bool = False
    edit: Callable = lambda directory: None  # alters the copied examples
    options: dict = field(default_factory=lambda: {"density": 600.0})  # the build's keywords


MISTAKES = [
    Mistake("a density in g/cm³", "is it in g/cm³? 1 g/cm³ is 1000 kg/m³",
            options={"density": 1.0}),
    # No room for the molecules: the packing fails, and its message carries the warning.
    Mistake("a density in g/m³", "warning: the density 600000 kg/m³ is above any molecular "
            "liquid's (at most 3500 kg/m³): is it in g/m³?", fails=True,
            options={"density": 600000.0}),
    Mistake("ε in kcal/mol", "pseudo atom 'CH3' has epsilon 0.1947 K, shallower than any atom's "
            "or united atom's well of its size: is it in kcal/mol (0.1947 kcal/mol is 98.0 K)",
            edit=set_field("SelfInteractions", "parameters", CH3=[0.1947, 3.75],
                           CH2=[0.0914, 3.95])),
    Mistake("σ and ε swapped", "pseudo atom 'CH3' has sigma 98 Å, wider than any atom or united "
            "atom (at most 10 Å): are epsilon and sigma swapped?",
            edit=set_field("SelfInteractions", "parameters", CH3=[3.75, 98.0])),
    Mistake("σ in nm", "pseudo atom 'CH2' has sigma 0.395 Å with epsilon 46 K, narrower than "
            "any atom or united atom with such a well: is sigma in nm (0.395 nm is 3.95 Å)?",
            edit=set_field("SelfInteractions", "parameters", CH2=[46.0, 0.395])),
    Mistake("a geometry in nm", "molecule 'butane': atoms 0 (CH3) and 1 (CH2) are bonded "
            "0.154 Å apart, outside what bonds have (0.6 to 3 Å): in nm? Molecule files take Å",
            edit=edit_json("butane", lambda data: data.update(pseudoAtoms=[
                [name, [x * 0.1 for x in position]] for name, position in data["pseudoAtoms"]]))),
    Mistake("a bond length in nm", "molecule 'butane': the Bonds entry CH3-CH2 has r0 0.154 Å, "
            "outside what bonds have (0.6 to 3 Å): in nm?",
            edit=edit_json("butane", lambda data: data["Bonds"][0][2].__setitem__(1, 0.154))),
    Mistake("hydrogen taken as 1.08", "pseudo atom 'CH3' has mass 15.251 g/mol, which fits no "
            "element, united atom or one-site molecule (the nearest is CH3, 15.035 g/mol)",
            edit=set_field("PseudoAtoms", "mass", CH3=15.251)),
    Mistake("a strict build that warns", "the build is strict and has warnings; nothing was "
            "written:\n  the density 1 kg/m³", fails=True,
            options={"density": 1.0, "strict": True}),
    Mistake("misspelt optional key of the force field",
            "unknown key 'CutoffVDW' in {force_field} (top level, line 1) is ignored; did you "
            "mean 'CutOffVDW'?", edit=rename_key("force_field", "CutOffVDW", "CutoffVDW")),
    # The bond has no parameters then; the failure carries the warning that explains it.
    Mistake("misspelt bonded key of a molecule", "did you mean 'Bonds'?", fails=True,
            edit=rename_key("butane", "Bonds", "Bond")),
    Mistake("pseudo-atom name in the wrong letter case",
            "molecule 'butane' uses pseudo-atom type 'Ch2' not present in the force field; did "
            "you mean 'CH2'?", fails=True,
            edit=edit_json("butane", lambda data: data["pseudoAtoms"][1].__setitem__(0, "Ch2"))),
]


class MistakeTest(TempDirTestCase):
    def test_the_examples_build_without_a_warning(self):
        for path in sorted(EXAMPLES.glob("*.json")):
            if path.name == "force_field.json":
                continue
            with self.subTest(path.stem):
                pack.packmol(path, [20], 600.0, force_field=EXAMPLES / "force_field.json",
                             out_dir=self.tmp / path.stem, strict=True)

    def test_each_mistake_is_named_through_the_package(self):
        for mistake in MISTAKES:
            with self.subTest(mistake.name), warnings.catch_warnings():
                warnings.simplefilter("ignore")
                # A directory of its own, with the examples as the mistake alters them.
                directory = pathlib.Path(tempfile.mkdtemp(dir=self.tmp))
                for path in EXAMPLES.glob("*.json"):
                    shutil.copy(path, directory)
                mistake.edit(directory)
                expect = mistake.expect.replace("{force_field}",
                                                str(directory / "force_field.json"))
                build = lambda: pack.packmol(directory / "butane.json", [20],
                                             force_field=directory / "force_field.json",
                                             out_dir=directory / "out", **mistake.options)
                if mistake.fails:
                    with self.assertRaises(BuildError) as raised:
                        build()
                    self.assertIn(expect, str(raised.exception))
                    self.assertFalse((directory / "out" / "data.lmp").exists())
                else:
                    self.assertIn(expect, "\n".join(build().warnings))
