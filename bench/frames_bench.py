"""The last frame of a 20-frame trajectory of 10^6 atoms (a LAMMPS dump and a multi-model PDB)
against a file holding that frame alone: wall time and the growth of peak resident memory of the
read, each a median of fresh processes (frames_bench read). The trajectory costs a pass over its
other frames' lines and nothing in memory.

Run from the root of the repository after a Release build (files go to a scratch directory,
about 2.5 GB):

    "$(scripts/find-python.sh)" bench/frames_bench.py [--atoms N] [--frames N] [--repeats N]

Standard library only.
"""

import argparse
import json
import pathlib
import statistics
import subprocess
import tempfile

BENCH = pathlib.Path("build/frames_bench")
MB = 1e6


def read(path, atoms):
    out = subprocess.run([BENCH, "read", path, str(atoms)], check=True, capture_output=True,
                         text=True).stdout
    return json.loads(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--atoms", type=int, default=1_000_000)
    parser.add_argument("--frames", type=int, default=20)
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="frames-bench-") as scratch:
        subprocess.run([BENCH, "write", scratch, str(args.atoms), str(args.frames)], check=True)
        print(f"{args.atoms} atoms; the last of {args.frames} frames against one frame; "
              f"median of {args.repeats} fresh processes (the files in the page cache)")
        print(f"{'file':<10} {'MB':>7} {'frame':>7} {'wall s':>8} {'cpu s':>8} {'peak MB':>8}")
        medians = {}
        for name in ("one.dump", "many.dump", "one.pdb", "many.pdb"):
            path = pathlib.Path(scratch, name)
            read(path, args.atoms)  # into the page cache
            runs = [read(path, args.atoms) for _ in range(args.repeats)]
            wall = statistics.median(r["seconds"] for r in runs)
            cpu = statistics.median(r["cpu_seconds"] for r in runs)
            peak = statistics.median(r["peak_bytes"] for r in runs)
            medians[name] = (wall, peak)
            print(f"{name:<10} {path.stat().st_size / MB:>7.0f} "
                  f"{runs[0]['frame']:>3} of {runs[0]['frames']:<2} {wall:>6.3f} {cpu:>8.3f} "
                  f"{peak / MB:>8.1f}")
        for kind in ("dump", "pdb"):
            (one_wall, one_peak), (many_wall, many_peak) = medians[f"one.{kind}"], \
                medians[f"many.{kind}"]
            print(f"{kind}: {args.frames} frames / 1 frame: wall {many_wall / one_wall:.2f}x, "
                  f"peak {many_peak / one_peak:.2f}x")


if __name__ == "__main__":
    main()
