"""Runs the real LAMMPS (`lmp`) on a directory holding data.lmp and forcefield.lmp.

The input script follows what a user would write around our two files: units and atom style,
the styles the data file needs, read_data, include forcefield.lmp, then `run 0`, which
evaluates every energy term once at the given positions.
"""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path

LMP = shutil.which("lmp")
MISSING_REASON = "LAMMPS is not installed: no 'lmp' on PATH (Debian package lammps)"

# Thermo keywords read back after `run 0`, in the order they are printed.
THERMO = ("pe", "evdwl", "ecoul", "elong", "ebond", "eangle", "edihed")


def input_script(pair_style: str | None = None, extra: str = "") -> str:
    """The script: `pair_style` goes before the include, for files written without a preset."""
    lines = ["units real", "atom_style full", "read_data data.lmp"]
    if pair_style:
        lines.append(pair_style)
    lines += [
        "include forcefield.lmp",
        extra,
        f"thermo_style custom step {' '.join(THERMO)}",
        # Twelve significant digits: enough to compare energies to one part in a million.
        "thermo_modify format float %20.12g",
        "run 0",
    ]
    return "\n".join(lines) + "\n"


class LammpsFailed(AssertionError):
    pass


def run(directory: Path, script: str) -> tuple[dict[str, float], str]:
    """Runs `script` in `directory`; returns the thermo values after `run 0` and the screen text."""
    Path(directory, "in.lmp").write_text(script, encoding="utf-8")
    proc = subprocess.run(
        [LMP, "-in", "in.lmp", "-log", "none", "-echo", "screen", "-nocite"],
        cwd=directory,
        capture_output=True,
        text=True,
        env={**os.environ, "OMP_NUM_THREADS": "1"},
        timeout=600,
    )
    screen = proc.stdout + proc.stderr
    if proc.returncode != 0 or "ERROR" in screen:
        tail = "\n".join(screen.splitlines()[-25:])
        raise LammpsFailed(f"lmp exited with status {proc.returncode}:\n{tail}")
    return parse_thermo(screen), screen


def parse_thermo(screen: str) -> dict[str, float]:
    """The values under the last thermo header ("Step ...") of the screen text."""
    lines = screen.splitlines()
    headers = [n for n, line in enumerate(lines) if line.split()[:1] == ["Step"]]
    if not headers:
        raise LammpsFailed("no thermo output in the LAMMPS screen text")
    values = lines[headers[-1] + 1].split()
    if len(values) != 1 + len(THERMO):
        raise LammpsFailed(f"unexpected thermo line: {lines[headers[-1] + 1]!r}")
    return {key: float(v) for key, v in zip(THERMO, values[1:])}
