"""The bundled models: common molecules ready to use by name, each with the paper of its numbers.

A model is two files in this folder: NAME.json, a molecule file whose stem is the species name,
and NAME.force_field.json, a force-field file with the model's own pseudo atoms. A species given
by a name that is not a path to a file names a model; without a force-field file the build's force
field is assembled from the models it uses, and with one the file's entries come first and a
model's pseudo atom of the same name must carry the same numbers (the build checks that).
"""

from __future__ import annotations

import contextlib
import difflib
import errno
import json
import os
import re
import secrets
from dataclasses import dataclass
from functools import cache, cached_property
from pathlib import Path
from typing import Any

from ..errors import BuildError, shown_path

__all__ = ["Model", "MODELS_DIR", "names", "find", "get", "resolve_species", "shadowed",
           "write"]

MODELS_DIR = Path(__file__).resolve().parent
_FORCE_FIELD_SUFFIX = ".force_field.json"
# The paper of a source: everything up to the year in parentheses that ends the citation.
_CITATION = re.compile(r"^(.*?\(\d{4}\))")


@dataclass(frozen=True)
class Model:
    """A bundled model: its name and its two files.

    A build needs only the files, so the facts of the listing are read on first use: the core
    describes the molecule (by the same rules as a build) and its source is read from the file.
    """

    name: str
    molecule: Path  # the molecule file
    force_field: Path  # its pseudo atoms' force-field file

    @cached_property
    def _facts(self) -> dict[str, Any]:
        from .._engine import describe_molecule

        return dict(describe_molecule(str(self.molecule), str(self.force_field)))

    @property
    def sites(self) -> int:
        """Atoms of data.lmp, plus the massless M site of a four-site water."""
        return self._facts["sites"]

    @property
    def shape(self) -> str:
        """How in.lmp holds the molecule: "one site", "rigid", "fixed bonds" or "flexible".

        "fixed bonds" holds every bond at its length and leaves the bends and torsions free.
        """
        return self._facts["shape"]

    @property
    def charge(self) -> float:
        """Net charge, e; the rounding of the sum of partial charges left out."""
        return round(self._facts["charge"], 12)

    @property
    def charged(self) -> bool:
        """Whether any site carries a partial charge."""
        return self._facts["charged"]

    @cached_property
    def source(self) -> str:
        """The molecule file's source, whole."""
        return json.loads(self.molecule.read_text(encoding="utf-8")).get("source", "")

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


@cache
def _load(name: str) -> Model:
    return Model(name=name, molecule=MODELS_DIR / f"{name}.json",
                 force_field=MODELS_DIR / f"{name}{_FORCE_FIELD_SUFFIX}")


def names() -> list[str]:
    """Every bundled model's name, sorted."""
    return sorted(path.name[:-len(".json")] for path in MODELS_DIR.glob("*.json")
                  if not path.name.endswith(_FORCE_FIELD_SUFFIX))


def find(name: str) -> Model | None:
    """The model of that name, or None when there is none; nothing is read yet."""
    return _load(name) if name in names() else None


def get(name: str) -> Model:
    """The model of that name; BuildError, naming the closest one, when there is none."""
    model = find(name)
    if model is None:
        raise BuildError(f"no bundled model is named {name!r}{_did_you_mean(name)} "
                         "('boxwright models' lists them)")
    return model


# A name this long or longer that begins a model's name most likely means that model.
_SHORTEST_PREFIX = 3


def _did_you_mean(name: str) -> str:
    """The models a mistyped name most likely means: the same name in another letter case, the
    models it begins ("tip4p" for the TIP4P variants), else the closest by spelling."""
    known = names()
    folded = name.casefold()
    close = [model for model in known if model.casefold() == folded]
    if not close and len(folded) >= _SHORTEST_PREFIX:
        close = [model for model in known if model.casefold().startswith(folded)]
    if not close:
        close = difflib.get_close_matches(folded, known, n=1)
    if not close:
        return ""
    return "; did you mean " + " or ".join(f"'{model}'" for model in close) + "?"


def resolve_species(entries: list[str]) -> tuple[list[str], list[str]]:
    """The molecule files of the species, and the force-field files of the models among them.

    An entry that is a file is a path, whatever its name; otherwise it names a model. An entry
    that looks like a path (a folder in it, or a .json ending) and is no file goes through as a
    path, for the build to say it cannot read it.
    """
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


def shadowed(entries: list[str]) -> list[str]:
    """A note for each species entry that is a file and also a bundled model's name: the file is
    read, and a user who meant the model should know."""
    return [f"species {entry!r} is the file {os.path.abspath(entry)!r}, not the bundled model of "
            "that name (rename the file, or move out of its folder, to use the model)"
            for entry in entries if _looks_like_a_name(entry) and os.path.isfile(entry)
            and find(entry) is not None]


def _looks_like_a_name(entry: str) -> bool:
    separators = {os.sep, os.altsep} - {None}
    return not any(sep in entry for sep in separators) and not entry.endswith(".json")


def write(name: str, directory: str | os.PathLike[str]) -> list[Path]:
    """Copy a model's molecule file and force-field file into *directory*.

    The directory is created when missing; the copies are a start for a model of one's own. An
    existing file there is never overwritten. Both files are written or neither: each is created
    only where no file (nor a link, even one to nothing) has the name, so that a link cannot send
    the copy elsewhere and of two writers at once one writes and the other is refused; a write
    that fails (a full disk) leaves nothing that would block the next try.
    """
    model = get(name)
    target = Path(directory)
    copies = [(model.molecule, model.molecule.name),
              (model.force_field, model.force_field.name)]
    for _, file_name in copies:
        if os.path.lexists(target / file_name):
            raise FileExistsError(f"{shown_path(target / file_name)} exists; boxwright does not "
                                  "overwrite it")
    target.mkdir(parents=True, exist_ok=True)
    folder = os.open(target, os.O_PATH | os.O_DIRECTORY | os.O_CLOEXEC)
    written: list[str] = []
    try:
        for source, file_name in copies:
            _create_new(folder, file_name, source.read_bytes(), target / file_name)
            written.append(file_name)
    except BaseException:
        for file_name in written:
            os.unlink(file_name, dir_fd=folder)
        raise
    finally:
        os.close(folder)
    return [target / file_name for _, file_name in copies]


def _create_new(folder: int, name: str, data: bytes, shown: Path) -> None:
    """Creates *name* in the folder with *data*, whole, unless something has the name already:
    written to a new temporary file first, then given the name by a hard link, which never
    replaces and never follows a link. Where the file system has no hard links, the file is
    created under its name at once, exclusively, and removed if the writing fails."""
    temporary = f"{name}.tmp{secrets.token_hex(3)}"
    try:
        _write_exclusively(folder, temporary, data)
        try:
            os.link(temporary, name, src_dir_fd=folder, dst_dir_fd=folder, follow_symlinks=False)
        except FileExistsError:
            raise FileExistsError(f"{shown_path(shown)} exists; boxwright does not overwrite "
                                  "it") from None
        except OSError as error:
            if error.errno not in (errno.EPERM, errno.EOPNOTSUPP, errno.EXDEV):
                raise
            _write_exclusively(folder, name, data)
    except FileExistsError:
        raise
    except OSError as error:
        raise BuildError(f"writing {shown_path(shown)}: {os.strerror(error.errno or 0)} "
                         f"(os error {error.errno})") from None
    finally:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(temporary, dir_fd=folder)


def _write_exclusively(folder: int, name: str, data: bytes) -> None:
    fd = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW | os.O_CLOEXEC,
                 0o666, dir_fd=folder)
    try:
        with open(fd, "wb", closefd=False) as file:
            file.write(data)
        os.close(fd)
    except BaseException:
        with contextlib.suppress(OSError):
            os.close(fd)
        os.unlink(name, dir_fd=folder)
        raise
