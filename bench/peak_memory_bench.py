"""Peak resident memory of three builds that once grew with what they wrote or planned, each run
in a fresh process and measured from outside (ru_maxrss of the child):

  forcefield   5,000 atom types with explicit Lorentz-Berthelot cross terms: 12.5 million
               pair_coeff lines in forcefield.lmp, next to the size of that file;
  from-coords  10^6 atoms from an XYZ file through the command line (its report measures the
               closest contact), next to the bare `_native` call on a float64 buffer of the same
               positions (no report), and their ratio;
  huge split   1.5e10 water molecules packed with --jobs: refused before any planning.

Run from the root of the repository after a Release build:

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/peak_memory_bench.py [--only NAME]

Standard library only.
"""

import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import scale_bench  # noqa: E402  (the system of 10^6 atoms, its files and the buffer call)

EXAMPLES = scale_bench.EXAMPLES
FORCE_FIELD = str(EXAMPLES / "force_field.json")
ATOM_TYPES = 5000
FROM_COORDS_ATOMS = 1_000_000
HUGE_WATERS = 5_000_000_000  # 1.5e10 atoms
CLI_OVER_NATIVE_PEAK = 1.3   # the target for the command line's peak against the bare call

MB = 1e6


def run_child(command):
    """(exit status, stderr, seconds, peak resident bytes) of one process."""
    wall = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    stderr = child.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(child.pid, 0)
    child.stderr.close()
    return (os.waitstatus_to_exitcode(status), stderr, time.perf_counter() - wall,
            usage.ru_maxrss * 1024)


def many_types(scratch):
    """A force field of ATOM_TYPES Lennard-Jones types and a one-atom species of each."""
    names = [f"T{n}" for n in range(ATOM_TYPES)]
    force_field = {
        "MixingRule": "Lorentz-Berthelot",
        "PseudoAtoms": [{"name": name, "mass": 12.0, "charge": 0.0, "source": "bench"}
                        for name in names],
        "SelfInteractions": [{"name": name, "type": "lennard-jones",
                              "parameters": [50.0 + n % 50, 3.0 + n % 7 / 10]}
                             for n, name in enumerate(names)],
    }
    (scratch / "many_ff.json").write_text(json.dumps(force_field), encoding="utf-8")
    for name in names:
        (scratch / f"{name}.json").write_text(json.dumps({"pseudoAtoms": [[name, [0, 0, 0]]]}),
                                              encoding="utf-8")
    return str(scratch / "many_ff.json")


# The species on a cubic lattice 3 Å apart.
FORCEFIELD_CHILD = """
import sys
from boxwright._native import pack_from_coords_py
force_field, scratch, types, out_dir = sys.argv[1:]
species = [f"{scratch}/T{n}.json" for n in range(int(types))]
side = round(len(species) ** (1 / 3)) + 1
coords = [[3.0 * (n % side), 3.0 * (n // side % side), 3.0 * (n // side // side)]
          for n in range(len(species))]
pack_from_coords_py(species, [1] * len(species), coords, 3.0 * side, force_field=force_field,
                    explicit_lb=True, out_dir=out_dir)
"""


def bench_forcefield(scratch):
    force_field = many_types(scratch)
    out_dir = scratch / "forcefield"
    status, stderr, seconds, peak = run_child([sys.executable, "-c", FORCEFIELD_CHILD, force_field,
                                               str(scratch), str(ATOM_TYPES), str(out_dir)])
    if status != 0:
        sys.exit(f"the build of {ATOM_TYPES} types failed:\n{stderr}")
    size = (out_dir / "forcefield.lmp").stat().st_size
    print(f"forcefield: {ATOM_TYPES} types, explicit LB: forcefield.lmp {size / MB:.0f} MB, "
          f"peak {peak / MB:.0f} MB, {seconds:.1f} s")


def bench_from_coords(scratch):
    scale_bench.write_coordinate_files(FROM_COORDS_ATOMS, str(scratch))
    cli = scale_bench.measure_command_line("cli-xyz", FROM_COORDS_ATOMS, str(scratch / "cli"),
                                           str(scratch))
    native = scale_bench.run_call("buffer", FROM_COORDS_ATOMS, str(scratch / "native"), None,
                                  None, str(scratch))
    ratio = cli["process_peak_bytes"] / native["process_peak_bytes"]
    verdict = "met" if ratio <= CLI_OVER_NATIVE_PEAK else "MISSED"
    print(f"from-coords: {FROM_COORDS_ATOMS} atoms: command line from XYZ "
          f"{cli['process_peak_bytes'] / MB:.0f} MB ({cli['seconds']:.1f} s), bare _native "
          f"buffer call {native['process_peak_bytes'] / MB:.0f} MB; ratio {ratio:.2f} "
          f"(target <= {CLI_OVER_NATIVE_PEAK}: {verdict})")


def bench_huge_split(scratch):
    command = [sys.executable, "-m", "boxwright", "pack", "--species",
               str(EXAMPLES / "water.json"), "--counts", str(HUGE_WATERS), "--density", "997",
               "--jobs", "2", "--force-field", FORCE_FIELD, "--out-dir", str(scratch / "huge")]
    status, stderr, seconds, peak = run_child(command)
    print(f"huge split: {HUGE_WATERS} waters with --jobs: exit {status} after {seconds:.2f} s, "
          f"peak {peak / MB:.0f} MB: {stderr.strip()}")


BENCHES = {"forcefield": bench_forcefield, "from-coords": bench_from_coords,
           "huge-split": bench_huge_split}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", choices=BENCHES, help="run one of the measurements")
    args = parser.parse_args()
    print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    with tempfile.TemporaryDirectory(prefix="peak_memory_bench") as scratch:
        for name, bench in BENCHES.items():
            if args.only in (None, name):
                bench(pathlib.Path(scratch))


if __name__ == "__main__":
    main()
