"""Published liquid densities reproduced through in.lmp as boxwright writes it.

Each system is a bundled model packed by name with `boxwright.pack.packmol` at its state point,
with the defaults a user gets (the model's own cutoff and the preset's tail corrections; only the
SPC/E reference asks for another cutoff), and its in.lmp is run by LAMMPS as written (only the
run lengths and the timestep are set: 2 fs for the rigid molecules and methane, 1 fs for the
flexible ones, whose stiff harmonic bonds and free bends need it). The density is averaged over
the second half of the NPT run and compared with the published value:

    tip4p2005  298 K, 1 atm          997.9 kg/m³   Abascal and Vega, J. Chem. Phys. 123, 234505
                                                   (2005), Table I
    spce       9 Å LJ cutoff,        998.0 kg/m³   the LAMMPS documentation's SPC/E reference
               300 K, 1 atm                        (Howto spc)
    methane    140 K, 1318 kPa      375.96 kg/m³   Martin and Siepmann, J. Phys. Chem. B 102, 2569
                                                   (1998), saturated liquid

The TraPPE-UA alkanes and alcohols are compared with EXPERIMENT at 298.15 K and 101.325 kPa, the
density of the reference equation of state that represents the measurements, evaluated at that
state point from the equation's published coefficients (TraPPE-UA typically lands within 1-2 %
of experiment there; the model's own densities at these points were not at hand):

    n-pentane   620.83 kg/m³   Span and Wagner, Int. J. Thermophys. 24, 41 (2003), each alkane's
    n-hexane    654.78 kg/m³   own 12-term equation
    n-octane    698.27 kg/m³
    benzene     873.52 kg/m³   Thol, Lemmon and Span, High Temp.-High Press. 41, 81 (2012)
    methanol    786.61 kg/m³   Piazza and Span, Fluid Phase Equilib. 349, 12 (2013)
    ethanol     785.13 kg/m³   J. A. Schroeder, M.S. thesis, University of Idaho (2011), the
                               equation later published by Schroeder, Penoncello and Schroeder,
                               J. Phys. Chem. Ref. Data 43, 043102 (2014)
    1-propanol  (none)         no verified reference yet: the measured density is printed alone

and isobutane, whose vapour pressure at 298 K is above 1 atm, at 250 K and 101.325 kPa:

    isobutane   606.33 kg/m³   Bücker and Wagner, J. Phys. Chem. Ref. Data 35, 929 (2006)

Run from the root of the repository after a Release build (minutes per system; run one system
at a time on a shared machine):

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/physics/density_bench.py \\
        [--systems n-hexane methanol] [--ps 50] [--molecules 250] [--ranks 2]

Standard library only; needs `lmp` (and `mpirun` for --ranks above 1).
"""

import argparse
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

from boxwright import pack

ATM_PER_KPA = 1 / 101.325


@dataclass(frozen=True)
class System:
    molecules: int
    packing: float  # kg/m³ the box is packed at, a little under the liquid's so Packmol has room
    temperature: float  # K
    pressure: float  # atm
    timestep: float  # fs
    published: float | None  # kg/m³
    cutoff: float | None = None  # Å, in place of the model's own


# Each key is a bundled model's name.
SYSTEMS = {
    "tip4p2005": System(500, 950.0, 298.0, 1.0, 2.0, 997.9),
    "spce": System(500, 950.0, 300.0, 1.0, 2.0, 998.0, cutoff=9.0),
    "methane": System(500, 350.0, 140.0, 1318 * ATM_PER_KPA, 2.0, 375.96),
    "n-pentane": System(250, 580.0, 298.15, 1.0, 1.0, 620.83),
    "n-hexane": System(250, 610.0, 298.15, 1.0, 1.0, 654.78),
    "n-octane": System(200, 650.0, 298.15, 1.0, 1.0, 698.27),
    "isobutane": System(300, 570.0, 250.0, 1.0, 1.0, 606.33),
    "benzene": System(250, 830.0, 298.15, 1.0, 2.0, 873.52),
    "methanol": System(300, 740.0, 298.15, 1.0, 1.0, 786.61),
    "ethanol": System(300, 740.0, 298.15, 1.0, 1.0, 785.13),
    "1-propanol": System(250, 750.0, 298.15, 1.0, 1.0, None),
}


def measure(name, system, molecules, directory, picoseconds, ranks):
    """The mean density of the second half of the NPT run, kg/m³."""
    out = pathlib.Path(directory, name)
    pack.packmol([name], [molecules], system.packing, out_dir=out,
                 temperature=system.temperature, pressure=system.pressure,
                 timestep=system.timestep, cutoff=system.cutoff)
    steps = int(picoseconds * 1000 / system.timestep)
    variables = {"start_steps": 2000, "steps": steps}
    arguments = [f for key, value in variables.items() for f in ("-var", key, str(value))]
    mpi = ["mpirun", "--allow-run-as-root", "-np", str(ranks)] if ranks > 1 else []
    proc = subprocess.run([*mpi, "lmp", *arguments, "-in", "in.lmp", "-log", "none", "-nocite"],
                          cwd=out, capture_output=True, text=True, check=True)
    # Thermo rows of the production run: step temp press density pe ke etotal.
    first = variables["start_steps"]
    rows = [line.split() for line in proc.stdout.splitlines()
            if len(line.split()) == 7 and line.split()[0].isdigit()
            and int(line.split()[0]) > first + steps // 2]
    return statistics.fmean(float(row[3]) * 1000 for row in rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--systems", nargs="+", choices=list(SYSTEMS), default=list(SYSTEMS))
    parser.add_argument("--ps", type=float, default=80.0, help="NPT run, ps")
    parser.add_argument("--molecules", type=int,
                        help="molecules of every system, in place of each one's own")
    parser.add_argument("--ranks", type=int, default=1, help="MPI processes of LAMMPS")
    args = parser.parse_args()
    print(f"{'system':<10} {'T K':>6} {'P atm':>7} {'published':>10} {'measured':>10} {'diff':>7} "
          f"{'N':>5} {'ps':>5} {'wall s':>7}")
    with tempfile.TemporaryDirectory(prefix="bw-density-") as directory:
        for name in args.systems:
            system = SYSTEMS[name]
            molecules = args.molecules or system.molecules
            start = time.monotonic()
            measured = measure(name, system, molecules, directory, args.ps, args.ranks)
            wall = time.monotonic() - start
            published, diff = "n/a", "n/a"
            if system.published is not None:
                published = f"{system.published:.2f}"
                diff = f"{100 * (measured / system.published - 1):+.2f}%"
            print(f"{name:<10} {system.temperature:>6.2f} {system.pressure:>7.2f} "
                  f"{published:>10} {measured:>10.2f} {diff:>7} {molecules:>5} {args.ps:>5g} "
                  f"{wall:>7.0f}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
