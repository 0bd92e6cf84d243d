"""Published liquid densities reproduced through in.lmp as boxwright writes it.

Each system is packed with `boxwright.pack.packmol` at its state point, with the defaults a user
gets, and its in.lmp is run by LAMMPS as written (only the run lengths and the timestep are set
on the command line). The density is averaged over the second half of the NPT run and compared
with the published value:

    TIP4P/2005 water, 298 K, 1 atm          997.9 kg/m³   Abascal and Vega, J. Chem. Phys. 123,
                                                            234505 (2005), Table I
    SPC/E water, 9 Å LJ cutoff, 300 K, 1 atm 998.0 kg/m³   the LAMMPS documentation's SPC/E
                                                            reference (Howto spc)
    TraPPE-UA methane, 14 Å, 140 K, 1318 kPa 375.96 kg/m³  Martin and Siepmann, J. Phys. Chem. B
                                                            102, 2569 (1998), saturated liquid

Run from the root of the repository after a Release build (it takes minutes per system):

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/physics/density_bench.py \\
        [--systems tip4p2005 spce methane] [--ps 80] [--ranks 2]

Standard library only; needs `lmp` (and `mpirun` for --ranks above 1).
"""

import argparse
import json
import pathlib
import statistics
import subprocess
import sys
import tempfile

from boxwright import pack

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
EXAMPLES = ROOT / "examples"
ATM_PER_KPA = 1 / 101.325


def spce_files(directory):
    water = {"Type": "rigid", "pseudoAtoms": [["O_spce", [0.0, 0.0, 0.0]],
                                              ["H_spce", [0.8164904, 0.5773590, 0.0]],
                                              ["H_spce", [-0.8164904, 0.5773590, 0.0]]],
             "Connectivity": [[0, 1], [0, 2]]}
    force_field = {"MixingRule": "Lorentz-Berthelot", "CutOffVDW": 9.0,
                   "PseudoAtoms": [{"name": "O_spce", "mass": 15.9994, "charge": -0.8476},
                                   {"name": "H_spce", "mass": 1.008, "charge": 0.4238}],
                   "SelfInteractions": [{"name": "O_spce", "type": "lennard-jones",
                                         "parameters": [78.2, 3.166]},
                                        {"name": "H_spce", "type": "lennard-jones",
                                         "parameters": [0.0, 0.0]}]}
    return write(directory, spce=water, spce_ff=force_field)


def methane_files(directory):
    force_field = json.loads((EXAMPLES / "force_field.json").read_text(encoding="utf-8"))
    force_field["CutOffVDW"] = 14.0
    (ff,) = write(directory, methane_ff=force_field)
    return EXAMPLES / "methane.json", ff


def write(directory, **contents):
    paths = []
    for name, content in contents.items():
        paths.append(pathlib.Path(directory, f"{name}.json"))
        paths[-1].write_text(json.dumps(content), encoding="utf-8")
    return paths


# name: (files(directory) -> (species, force field), molecules, packing density, K, atm,
#        timestep fs, published kg/m³)
SYSTEMS = {
    "tip4p2005": (lambda d: (EXAMPLES / "water.json", EXAMPLES / "force_field.json"), 500,
                  950.0, 298.0, 1.0, 2.0, 997.9),
    "spce": (spce_files, 500, 950.0, 300.0, 1.0, 2.0, 998.0),
    "methane": (methane_files, 500, 350.0, 140.0, 1318 * ATM_PER_KPA, 2.0, 375.96),
}


def measure(name, directory, picoseconds, ranks):
    files, molecules, density, temperature, pressure, timestep, published = SYSTEMS[name]
    species, force_field = files(directory)
    out = pathlib.Path(directory, name)
    pack.packmol(species, [molecules], density, force_field=force_field, out_dir=out,
                 temperature=temperature, pressure=pressure, timestep=timestep)
    steps = int(picoseconds * 1000 / timestep)
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
    measured = statistics.fmean(float(row[3]) * 1000 for row in rows)
    return published, measured, temperature, pressure


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--systems", nargs="+", choices=list(SYSTEMS), default=list(SYSTEMS))
    parser.add_argument("--ps", type=float, default=80.0, help="NPT run, ps")
    parser.add_argument("--ranks", type=int, default=1, help="MPI processes of LAMMPS")
    args = parser.parse_args()
    print(f"{'system':<10} {'T K':>6} {'P atm':>7} {'published':>10} {'measured':>10} {'diff':>7}")
    with tempfile.TemporaryDirectory(prefix="bw-density-") as directory:
        for name in args.systems:
            published, measured, temperature, pressure = measure(name, directory, args.ps,
                                                                 args.ranks)
            print(f"{name:<10} {temperature:>6.1f} {pressure:>7.2f} {published:>10.2f} "
                  f"{measured:>10.2f} {100 * (measured / published - 1):>+6.2f}%", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
