"""What a build of `boxwright.pack` raises when it fails, and the category of its warnings.

Both are importable from `boxwright` itself. A build whose arguments are wrong before it starts (a
count that is negative, coordinates of the wrong shape) raises `ValueError` or `TypeError`
instead, naming the parameter; everything the build itself refuses or fails at is a `BuildError`.
"""

from __future__ import annotations

import os
from typing import Any

__all__ = ["BuildError", "BuildWarning", "shown_path"]


class BuildError(RuntimeError):
    """A build that failed.

    An input file that cannot be read or says something wrong, settings that do not fit the
    system, a Packmol run that failed or was stopped, an output directory that cannot be
    written. The previous files of the output directory are left as they were.

    `message` is the whole message, and ``str(error)`` too. `file` is the input file at fault,
    as the caller named it (a force-field, molecule or coordinate file), and `line` the line in
    it, counted from 1; each is None when the failure lies in no one file or line. `option` is the
    setting at fault, by its keyword ("kspace_accuracy"), when the failure is about the value of
    one setting, else None. A subclass of `RuntimeError`, which builds raised before these classes
    existed.
    """

    message: str
    file: str | None
    line: int | None
    option: str | None

    def __init__(self, message: str, file: str | None = None, line: int | None = None,
                 option: str | None = None) -> None:
        super().__init__(message)
        self.message = message
        self.file = file
        self.line = line
        self.option = option

    # Pickled (to another process, say) with its place, which `args` alone would lose.
    def __reduce__(self) -> tuple[Any, ...]:
        return type(self), (self.message, self.file, self.line, self.option)


class BuildWarning(UserWarning):
    """A warning of a build, issued with `warnings.warn` once the files are written.

    One is issued for each text of the report's `warnings`: `warnings.simplefilter("error",
    BuildWarning)` (or ``python -W error::UserWarning``) raises the first of them, after the files
    are written. ``-W error::boxwright.BuildWarning`` does not work where the package is found
    through the script's own folder: Python reads ``-W`` before that folder is on its path.
    """


_SHORT_ESCAPES = {'"': '\\"', "\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t"}


def _is_control(character: str) -> bool:
    code = ord(character)
    return code < 0x20 or 0x7F <= code <= 0x9F


def shown_path(path: str | os.PathLike[str]) -> str:
    """A path as the package's messages show it: as given, unless it holds a control character
    (a line feed would forge a line of its own, an ESC drive the terminal); then in double quotes
    with those escaped, as the build's messages show names ("a\\nb", "\\u{1b}[31m")."""
    text = os.fspath(path)
    if not any(_is_control(character) for character in text):
        return text
    escaped = (_SHORT_ESCAPES.get(c) or (f"\\u{{{ord(c):x}}}" if _is_control(c) else c)
               for c in text)
    return '"' + "".join(escaped) + '"'
