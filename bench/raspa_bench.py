"""Packmol against RASPA3 for a dense liquid of chains: 500 n-octane (TraPPE-UA) at liquid
density, built with `boxwright.pack.packmol` and with `boxwright.pack.raspa`, each then started
by its own in.lmp in LAMMPS. The table gives the wall time of the build, of the LAMMPS start
(in.lmp with a short production run) and of both, and the potential energy and the density at
the end of that run; for the raspa path also RASPA3's final energy and LAMMPS's at its first step,
which should agree.

Run from the root of the repository after a Release build, with RASPA3 found as the package finds
it ($BOXWRIGHT_RASPA3 or raspa3 on PATH):

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/raspa_bench.py \\
        [--molecules 500] [--density 703] [--init-cycles 20] [--cycles 20] [--steps 2000]

RASPA3's cost grows as cycles × molecules, and more than that for chains grown by
configurational bias at liquid density. Standard library only.
"""

import argparse
import pathlib
import subprocess
import sys
import tempfile
import time

from boxwright import pack

THERMO = ("Step", "Temp", "Press", "Density", "PotEng")


def last_thermo(screen):
    """The last row under LAMMPS's thermo header, by column name."""
    lines = screen.splitlines()
    headers = [n for n, line in enumerate(lines) if line.split()[:1] == ["Step"]]
    header = lines[headers[-1]].split()
    rows = [line.split() for line in lines[headers[-1] + 1:]]
    rows = [row for row in rows if len(row) == len(header) and row[0].isdigit()]
    return dict(zip(header, map(float, rows[-1])))


def first_thermo(screen):
    lines = screen.splitlines()
    header_at = next(n for n, line in enumerate(lines) if line.split()[:1] == ["Step"])
    return dict(zip(lines[header_at].split(), map(float, lines[header_at + 1].split())))


def run_lammps(directory, steps):
    started = time.perf_counter()
    proc = subprocess.run(["lmp", "-in", "in.lmp", "-var", "steps", str(steps), "-log", "none",
                           "-nocite"], cwd=directory, capture_output=True, text=True)
    seconds = time.perf_counter() - started
    if proc.returncode != 0:
        sys.exit(f"lmp failed in {directory}:\n{proc.stdout[-3000:]}{proc.stderr[-2000:]}")
    return seconds, first_thermo(proc.stdout), last_thermo(proc.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--molecules", type=int, default=500)
    parser.add_argument("--density", type=float, default=703.0, help="kg/m³ (n-octane, 298 K)")
    parser.add_argument("--init-cycles", type=int, default=20)
    parser.add_argument("--cycles", type=int, default=20)
    parser.add_argument("--steps", type=int, default=2000, help="production steps of in.lmp")
    args = parser.parse_args()
    rows = []
    with tempfile.TemporaryDirectory(prefix="raspa-bench-") as tmp:
        for path in ("packmol", "raspa"):
            out = pathlib.Path(tmp, path)
            started = time.perf_counter()
            if path == "packmol":
                report = pack.packmol(["n-octane"], [args.molecules], args.density, out_dir=out)
            else:
                report = pack.raspa(["n-octane"], [args.molecules], args.density, out_dir=out,
                                    pressure=1.0, init_cycles=args.init_cycles,
                                    cycles=args.cycles, seed=1)
            build = time.perf_counter() - started
            lammps, first, last = run_lammps(out, args.steps)
            rows.append((path, build, lammps, first, last, report.raspa))
            print(f"{path}: built in {build:.1f} s, LAMMPS {lammps:.1f} s", file=sys.stderr)
    print(f"{args.molecules} n-octane at {args.density:g} kg/m³; in.lmp's start and "
          f"{args.steps} NPT steps at 298.15 K, 1 atm; RASPA3 {args.init_cycles} + "
          f"{args.cycles} cycles (NPT)")
    print(f"{'path':8} {'build s':>8} {'LAMMPS s':>9} {'total s':>8} {'first pe':>12} "
          f"{'final pe':>12} {'density':>8}")
    for path, build, lammps, first, last, raspa in rows:
        print(f"{path:8} {build:8.1f} {lammps:9.1f} {build + lammps:8.1f} "
              f"{first['PotEng']:12.2f} {last['PotEng']:12.2f} {last['Density'] * 1000:8.1f}")
        if raspa is not None:
            print(f"         RASPA3's final energy {raspa.energy_kcal:.2f} kcal/mol "
                  f"(kcal/mol; LAMMPS's first pe above is after in.lmp's pair settings)")


if __name__ == "__main__":
    main()
