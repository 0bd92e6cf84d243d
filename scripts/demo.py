"""Packs carbon dioxide and n-butane from examples/ with Packmol through boxwright into out/demo/
(or the given directory), then lets LAMMPS minimise the mixture and run it for 300 NVT steps with
scripts/demo_run.lmp, and prints our summary and LAMMPS's last thermo line: proof on screen that
the files work.

Run with PYTHONPATH pointing at the built package, as `make demo` does."""

import json
import os
import pathlib
import shutil
import subprocess
import sys

from boxwright import pack

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"
LAMMPS_INPUT = ROOT / "scripts" / "demo_run.lmp"
# Rigid species first: demo_run.lmp takes molecule IDs 1..N as the rigid bodies.
MIXTURE = {"co2.json": 60, "butane.json": 40}
DENSITY = 650.0  # kg/m³, a dense fluid at 300 K


def is_rigid(species):
    raw = json.loads((EXAMPLES / species).read_text(encoding="utf-8"))
    return str(raw.get("Type") or "").lower() == "rigid"


def rigid_molecule_count():
    rigid = [is_rigid(name) for name in MIXTURE]
    assert rigid == sorted(rigid, reverse=True), "list the rigid species first"
    return sum(count for name, count in MIXTURE.items() if is_rigid(name))


def last_thermo_lines(screen):
    """The header of the last thermo block and its last row."""
    lines = screen.splitlines()
    start = max(n for n, line in enumerate(lines) if line.split()[:1] == ["Step"])
    end = next(n for n in range(start, len(lines)) if lines[n].startswith("Loop time"))
    rows = [line for line in lines[start + 1:end] if line.split()[:1] and line.split()[0].isdigit()]
    return lines[start], rows[-1]


def section(data_text, title):
    """The lines of one section ("Atoms", "Bonds", ...) of a data.lmp text."""
    body = data_text.split(f"\n{title}\n\n", 1)[1]
    return [line.split() for line in body.split("\n\n", 1)[0].splitlines()]


def rigid_bond_types(out_dir, rigid_molecules):
    """The bond types used inside molecules 1..rigid_molecules of the written data.lmp."""
    data = (pathlib.Path(out_dir) / "data.lmp").read_text(encoding="utf-8")
    molecule_of = {fields[0]: int(fields[1]) for fields in section(data, "Atoms")}
    types = {int(f[1]) for f in section(data, "Bonds") if molecule_of[f[2]] <= rigid_molecules}
    return " ".join(map(str, sorted(types)))


def run_lammps(out_dir):
    lmp = shutil.which("lmp")
    if lmp is None:
        sys.exit(f"demo: LAMMPS is not installed (no 'lmp' on PATH); the files are in {out_dir}")
    rigid = rigid_molecule_count()
    proc = subprocess.run(
        [lmp, "-in", str(LAMMPS_INPUT), "-var", "rigid_molecules", str(rigid),
         "-var", "rigid_bond_types", rigid_bond_types(out_dir, rigid),
         "-log", "log.lammps", "-nocite"],
        cwd=out_dir, capture_output=True, text=True, env={**os.environ, "OMP_NUM_THREADS": "1"})
    if proc.returncode != 0 or "ERROR" in proc.stdout:
        tail = "\n".join((proc.stdout + proc.stderr).splitlines()[-15:])
        sys.exit(f"demo: LAMMPS failed (see {out_dir}/log.lammps):\n{tail}")
    return last_thermo_lines(proc.stdout)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.relpath(ROOT / "out" / "demo")
    try:
        summary = pack.packmol(
            [EXAMPLES / name for name in MIXTURE], list(MIXTURE.values()), DENSITY,
            pair_style=pack.PyPairSetup.LjCutCoulLong, force_field=EXAMPLES / "force_field.json",
            out_dir=out_dir)
    except RuntimeError as failure:
        sys.exit(f"demo failed: {failure}")
    print(summary, end="")
    print(f"\nLAMMPS ({LAMMPS_INPUT.name}): minimised, then 300 NVT steps at 300 K with the CO2 "
          f"bonds held by SHAKE; log in {out_dir}/log.lammps")
    header, last = run_lammps(out_dir)
    print(header)
    print(last)


if __name__ == "__main__":
    main()
