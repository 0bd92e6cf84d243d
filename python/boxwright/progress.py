"""How far a packing has got.

What the `progress` callback of `boxwright.pack.packmol` receives after each Packmol run, and the
line the command line keeps on standard error meanwhile.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import TextIO

__all__ = ["Progress", "ProgressLine"]


@dataclass(frozen=True)
class Progress:
    """How far a packing has got after one more Packmol run.

    `done` of `total` Packmol runs have finished (the sub-boxes of a split box, or the one run of
    a whole box), `elapsed` seconds after packing started; `remaining` is the estimate of the
    seconds still to go at the pace so far. For RASPA3 (`boxwright.raspa_init`) they count Monte
    Carlo cycles, and `stage` and `unit` say so.
    """

    done: int
    total: int
    elapsed: float
    remaining: float
    stage: str = "packing"
    unit: str = "Packmol runs"

    def __str__(self) -> str:
        text = f"{self.stage}: {self.done} of {self.total} {self.unit} done, {self.elapsed:.1f} s"
        if self.done < self.total:
            text += f", about {self.remaining:.0f} s to go"
        return text


class ProgressLine:
    """A progress callback that shows each Progress on `stream`.

    On a terminal it is one line rewritten in place, elsewhere (a log file, a pipe) one line per
    finished run.
    """

    def __init__(self, stream: TextIO) -> None:
        self._stream = stream
        self._in_place = stream.isatty()
        self._open = False  # a line rewritten in place that has no line end yet

    def __call__(self, progress: Progress) -> None:
        if self._in_place:
            # Back to the start of the line, the new text, then erase what is left of the old.
            self._stream.write(f"\r{progress}\x1b[K")
            self._open = progress.done < progress.total
            if not self._open:
                self._stream.write("\n")
        else:
            self._stream.write(f"{progress}\n")
        self._stream.flush()

    def close(self) -> None:
        """Ends a line left open by a packing that stopped before its end."""
        if self._open:
            self._stream.write("\n")
            self._stream.flush()
            self._open = False
