"""The bundled models: common molecules ready to use by name, each with the paper of its numbers.

A model is two files in this folder: NAME.json, a molecule file whose stem is the species name,
and NAME.force_field.json, a force-field file with the model's own pseudo atoms. A species given
by a name that is not a path to a file names a model; without a force-field file the build's force
field is assembled from the models it uses, and with one the file's entries come first and a
model's pseudo atom of the same name must carry the same numbers (the build checks that).
"""

from __future__ import annotations

import difflib
import json
import os
import re
import shutil
from dataclasses import dataclass
from functools import cache
from pathlib import Path

from ..errors import BuildError

__all__ = ["Model", "MODELS_DIR", "names", "find", "get", "resolve_species", "write"]

MODELS_DIR = Path(__file__).resolve().parent
_FORCE_FIELD_SUFFIX = ".force_field.json"
# The paper of a source: everything up to the year in parentheses that ends the citation.
_CITATION = re.compile(r"^(.*?\(\d{4}\))")


@dataclass(frozen=True)
class Model:
    name: str
    molecule: Path  # the molecule file
    force_field: Path  # its pseudo atoms' force-field file
    sites: int  # atoms of data.lmp, plus the massless M site of a four-site water
    # "one site", "rigid", "fixed bonds" (every bond; bends and torsions free) or "flexible"
    shape: str
    charge: float  # net charge, e
    charged: bool  # whether any site carries a partial charge
    source: str  # the molecule file's source, whole

    @property
    def checked(self) -> bool:
        """Whether the numbers were compared with the table the source names; a source says
        "table not checked" otherwise."""
        return "table not checked" not in self.source

    @property
    def citation(self) -> str:
        """The model and its paper, without the notes that follow."""
        found = _CITATION.match(self.source)
        return found.group(1) if found else self.source


def _read(path: Path) -> dict:
    return json.loads(path.read_text(encoding="utf-8"))


@cache
def _load(name: str) -> Model:
    molecule_path = MODELS_DIR / f"{name}.json"
    ff_path = MODELS_DIR / f"{name}{_FORCE_FIELD_SUFFIX}"
    molecule, force_field = _read(molecule_path), _read(ff_path)
    charges = {atom["name"]: atom["charge"] for atom in force_field["PseudoAtoms"]}
    atoms = [entry[0] for entry in molecule["pseudoAtoms"]]
    return Model(
        name=name, molecule=molecule_path, force_field=ff_path,
        sites=len(atoms) + (1 if "MSite" in molecule else 0),
        shape=_shape(molecule),
        charge=round(sum(charges[atom] for atom in atoms), 12),
        charged=any(charges[atom] != 0 for atom in atoms),
        source=molecule.get("source", ""))


def _shape(molecule: dict) -> str:
    if len(molecule["pseudoAtoms"]) == 1:
        return "one site"
    if str(molecule.get("Type", "")).lower() == "rigid":
        return "rigid"
    names = [entry[0] for entry in molecule["pseudoAtoms"]]
    fixed = {frozenset(pair) for pair in molecule.get("FixedBonds", [])}
    bonds = {frozenset((names[i], names[j])) for i, j in molecule.get("Connectivity", [])}
    return "fixed bonds" if bonds <= fixed else "flexible"


def names() -> list[str]:
    """Every bundled model's name, sorted."""
    return sorted(path.name[:-len(".json")] for path in MODELS_DIR.glob("*.json")
                  if not path.name.endswith(_FORCE_FIELD_SUFFIX))


def find(name: str) -> Model | None:
    return _load(name) if name in names() else None


def get(name: str) -> Model:
    """The model of that name; BuildError, naming the closest one, when there is none."""
    model = find(name)
    if model is None:
        raise BuildError(f"no bundled model is named {name!r}{_did_you_mean(name)} "
                         "('boxwright models' lists them)")
    return model


def _did_you_mean(name: str) -> str:
    close = difflib.get_close_matches(name, names(), n=1)
    return f"; did you mean '{close[0]}'?" if close else ""


def resolve_species(entries: list[str]) -> tuple[list[str], list[str]]:
    """The molecule files of the species, and the force-field files of the models among them.

    An entry that is a file is a path, whatever its name; otherwise it names a model. An entry
    that looks like a path (a folder in it, or a .json ending) and is no file goes through as a
    path, for the build to say it cannot read it."""
    paths: list[str] = []
    force_fields: list[str] = []
    for entry in entries:
        is_file = os.path.isfile(entry)
        model = None if is_file else find(entry)
        if model is None:
            if not is_file and _looks_like_a_name(entry):
                # repr shows a quote or a control character in the name escaped.
                raise BuildError(f"species {entry!r} is neither a file nor a bundled model"
                                 f"{_did_you_mean(entry)} ('boxwright models' lists the models)")
            paths.append(entry)
            continue
        paths.append(str(model.molecule))
        if str(model.force_field) not in force_fields:
            force_fields.append(str(model.force_field))
    return paths, force_fields


def _looks_like_a_name(entry: str) -> bool:
    separators = {os.sep, os.altsep} - {None}
    return not any(sep in entry for sep in separators) and not entry.endswith(".json")


def write(name: str, directory: str | os.PathLike[str]) -> list[Path]:
    """Copy a model's molecule file and force-field file into *directory* (created when missing),
    as a start for a model of one's own; an existing file there is never overwritten."""
    model = get(name)
    target = Path(directory)
    copies = [(model.molecule, target / model.molecule.name),
              (model.force_field, target / model.force_field.name)]
    for _, destination in copies:
        if destination.exists():
            raise FileExistsError(f"{destination} exists; boxwright does not overwrite it")
    target.mkdir(parents=True, exist_ok=True)
    for source, destination in copies:
        shutil.copyfile(source, destination)
    return [destination for _, destination in copies]
