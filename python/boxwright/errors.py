"""What a build of `boxwright.pack` raises when it fails, and the category of its warnings.

Both are importable from `boxwright` itself. A build whose arguments are wrong before it starts (a
count that is negative, coordinates of the wrong shape) raises `ValueError` or `TypeError`
instead, naming the parameter; everything the build itself refuses or fails at is a `BuildError`.
"""

from __future__ import annotations

from typing import Any


class BuildError(RuntimeError):
    """A build that failed: an input file that cannot be read or says something wrong, settings
    that do not fit the system, a Packmol run that failed or was stopped, an output directory
    that cannot be written. The previous files of the output directory are left as they were.

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
    """A warning of a build, issued with `warnings.warn` once the files are written, one for each
    text of the report's `warnings`: ``-W error::boxwright.BuildWarning`` (or a filter set with
    `warnings.simplefilter`) raises the first of them, after the files are written."""
