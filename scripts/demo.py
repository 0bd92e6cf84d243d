"""Packs carbon dioxide and n-butane from examples/ with Packmol through boxwright into out/demo/
(or the given directory), then runs the in.lmp written beside data.lmp and forcefield.lmp with
LAMMPS, shortened to a 300-step start, a 300-step hand-over and 300 NPT steps, and prints our
report and LAMMPS's last thermo line: proof on screen that the files run as written.

Run with PYTHONPATH pointing at the built package, as `make demo` does."""

import os
import pathlib
import shutil
import subprocess
import sys

from boxwright import pack

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"
MIXTURE = {"co2.json": 60, "butane.json": 40}
DENSITY = 650.0  # kg/m³, a dense fluid at 300 K
SHORT_RUN = {"start_steps": 300, "handover_steps": 300, "steps": 300}


def last_thermo_lines(screen):
    """The header of the last thermo block and its last row."""
    lines = screen.splitlines()
    start = max(n for n, line in enumerate(lines) if line.split()[:1] == ["Step"])
    end = next(n for n in range(start, len(lines)) if lines[n].startswith("Loop time"))
    rows = [line for line in lines[start + 1:end] if line.split()[:1] and line.split()[0].isdigit()]
    return lines[start], rows[-1]


def run_lammps(out_dir):
    lmp = shutil.which("lmp")
    if lmp is None:
        sys.exit(f"demo: LAMMPS is not installed (no 'lmp' on PATH); the files are in {out_dir}")
    variables = [f for name, value in SHORT_RUN.items() for f in ("-var", name, str(value))]
    proc = subprocess.run(
        [lmp, *variables, "-in", "in.lmp", "-log", "log.lammps", "-nocite"],
        cwd=out_dir, capture_output=True, text=True, env={**os.environ, "OMP_NUM_THREADS": "1"})
    if proc.returncode != 0 or "ERROR" in proc.stdout:
        tail = "\n".join((proc.stdout + proc.stderr).splitlines()[-15:])
        sys.exit(f"demo: LAMMPS failed (see {out_dir}/log.lammps):\n{tail}")
    return last_thermo_lines(proc.stdout)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.relpath(ROOT / "out" / "demo")
    try:
        report = pack.packmol(
            [EXAMPLES / name for name in MIXTURE], list(MIXTURE.values()), DENSITY,
            force_field=EXAMPLES / "force_field.json", out_dir=out_dir, temperature=300)
    except RuntimeError as failure:
        sys.exit(f"demo failed: {failure}")
    print(report.format(), end="")
    print(f"\nLAMMPS (in.lmp, shortened with -var): minimised, CO2 held as rigid bodies, a "
          f"300-step hot start, a 300-step hand-over, then 300 NPT steps at 300 K; log in "
          f"{out_dir}/log.lammps")
    header, last = run_lammps(out_dir)
    print(header)
    print(last)


if __name__ == "__main__":
    main()
